#pragma once
// The engine's numbers: 32-bit float vectors, 4 x 4 matrices, planes and the view frustum.
//
// Points are row vectors and are transformed as p' = p x M. The first three rows of an affine
// matrix are the images of the x, y and z axes, the fourth row is the translation, and
// applying A first and then B is MatMul(A, B). Rows are stored one after the other, which is
// the order glLoadMatrixf expects, so Data() goes to GL unchanged. A point has w = 1, a
// direction w = 0. Angles are radians here except where a name says degrees.
#include <array>
#include <cstddef>
#include <type_traits>

#include "engine/export.h"

namespace sauno {

struct SAUNO_ENGINE_EXPORT TVector3 {
    float x = 0, y = 0, z = 0;

    float& operator[](size_t i) { return this->*kMembers[i]; }
    float operator[](size_t i) const { return this->*kMembers[i]; }
    friend bool operator==(const TVector3&, const TVector3&) = default;

private:
    static constexpr float TVector3::* kMembers[3] = {&TVector3::x, &TVector3::y, &TVector3::z};
};

struct SAUNO_ENGINE_EXPORT TVector4 {
    float x = 0, y = 0, z = 0, w = 0;

    float& operator[](size_t i) { return this->*kMembers[i]; }
    float operator[](size_t i) const { return this->*kMembers[i]; }
    // The four floats in order, for the GL calls that take a pointer.
    const float* Data() const { return &x; }
    // Numeric equality (0 == -0, NaN != NaN); BitEqual compares representations.
    friend bool operator==(const TVector4&, const TVector4&) = default;

private:
    static constexpr float TVector4::* kMembers[4] = {&TVector4::x, &TVector4::y, &TVector4::z,
                                                      &TVector4::w};
};

// Element (i, j) is rows[i][j].
struct SAUNO_ENGINE_EXPORT TMatrix4 {
    std::array<TVector4, 4> rows;

    float& operator()(size_t i, size_t j) { return rows[i][j]; }
    float operator()(size_t i, size_t j) const { return rows[i][j]; }
    // 16 floats, row after row.
    const float* Data() const { return rows[0].Data(); }
    friend bool operator==(const TMatrix4&, const TMatrix4&) = default;
};

static_assert(sizeof(TVector4) == 4 * sizeof(float) && std::is_standard_layout_v<TVector4>);
static_assert(sizeof(TMatrix4) == 16 * sizeof(float), "a matrix must be 16 packed floats for GL");

// The points p with a*x + b*y + c*z + d = 0, stored as (a, b, c, d); (a, b, c) is the normal.
using TPlane = TVector4;

// The six clipping planes, normals pointing inwards.
struct SAUNO_ENGINE_EXPORT TFrustum {
    TPlane left, top, right, bottom, near, far;
};

inline constexpr TVector4 XAxisVector{1, 0, 0, 0};
inline constexpr TVector4 YAxisVector{0, 1, 0, 0};
inline constexpr TVector4 ZAxisVector{0, 0, 1, 0};
inline constexpr TVector4 OriginPoint{0, 0, 0, 1};
inline constexpr TVector4 NullVector{0, 0, 0, 0};
inline constexpr TVector4 UnitScaleVector{1, 1, 1, 0};
inline constexpr TMatrix4 IdentityMatrix{{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}};
inline constexpr TVector4 ColorBlack{0, 0, 0, 1};  // the default of every colour
inline constexpr TVector4 ColorWhite{1, 1, 1, 1};

inline TVector4 Vector4(const TVector3& v, float w) { return {v.x, v.y, v.z, w}; }
inline TVector3 Affine(const TVector4& v) { return {v.x, v.y, v.z}; }

// (a.y*b.z - a.z*b.y, a.z*b.x - a.x*b.z, a.x*b.y - a.y*b.x, 0): w of the result is always 0.
SAUNO_ENGINE_EXPORT TVector4 Cross(const TVector4& a, const TVector4& b);
SAUNO_ENGINE_EXPORT TVector3 Cross(const TVector3& a, const TVector3& b);
// All four components count, w included.
SAUNO_ENGINE_EXPORT float Dot(const TVector4& a, const TVector4& b);
SAUNO_ENGINE_EXPORT float Dot(const TVector3& a, const TVector3& b);
// sqrt(x^2 + y^2 + z^2); w never counts.
SAUNO_ENGINE_EXPORT float Length3(const TVector4& v);
SAUNO_ENGINE_EXPORT float Length3(const TVector3& v);
// x, y, z divided by Length3, w := 0. The caller guarantees a non-zero length.
SAUNO_ENGINE_EXPORT TVector4 Normalize(const TVector4& v);
SAUNO_ENGINE_EXPORT TVector3 Normalize(const TVector3& v);
// Component-wise on all components.
SAUNO_ENGINE_EXPORT TVector4 Add(const TVector4& a, const TVector4& b);
SAUNO_ENGINE_EXPORT TVector4 Sub(const TVector4& a, const TVector4& b);
SAUNO_ENGINE_EXPORT TVector4 MulScalar(const TVector4& v, float s);
SAUNO_ENGINE_EXPORT TVector3 Add(const TVector3& a, const TVector3& b);
SAUNO_ENGINE_EXPORT TVector3 Sub(const TVector3& a, const TVector3& b);
SAUNO_ENGINE_EXPORT TVector3 MulScalar(const TVector3& v, float s);
// Squared distance of x, y, z.
SAUNO_ENGINE_EXPORT float Dist2(const TVector4& a, const TVector4& b);
// All four components equal bit for bit.
SAUNO_ENGINE_EXPORT bool BitEqual(const TVector4& a, const TVector4& b);
// x, y and z all exactly 0 (either sign).
SAUNO_ENGINE_EXPORT bool IsZero3(const TVector4& v);

// Row vector times matrix, all four components.
SAUNO_ENGINE_EXPORT TVector4 Transform(const TVector4& v, const TMatrix4& m);
// A x B: each row of A transformed by B.
SAUNO_ENGINE_EXPORT TMatrix4 MatMul(const TMatrix4& a, const TMatrix4& b);
// Rotation by `angle` radians about `axis` (normalised here). Applied to row vectors it turns
// them by -angle in the right-hand sense about the axis.
SAUNO_ENGINE_EXPORT TMatrix4 AxisAngleMatrix(const TVector4& axis, float angle);
// Transform(v, AxisAngleMatrix(axis, angle)).
SAUNO_ENGINE_EXPORT TVector4 RotateAround(const TVector4& v, const TVector4& axis, float angle);
// General inverse; the identity when the determinant is below 1e-40 in magnitude.
SAUNO_ENGINE_EXPORT TMatrix4 Inverse(const TMatrix4& m);
// Inverse of a rotation times a uniform scale plus a translation; the identity when row 0
// has a squared length below 1e-40.
SAUNO_ENGINE_EXPORT TMatrix4 InverseRigid(const TMatrix4& m);

SAUNO_ENGINE_EXPORT float Radians(float degrees);
// The same angle in -180..180 degrees.
SAUNO_ENGINE_EXPORT float WrapDegrees(float degrees);
SAUNO_ENGINE_EXPORT float Clamp(float value, float min, float max);
// atan2(sqrt(1 - x^2), x); inputs rounded just past +-1 give 0 or pi rather than NaN.
SAUNO_ENGINE_EXPORT float Acos(float x);

// Six normalised planes from model-view x projection (MatMul in that order).
SAUNO_ENGINE_EXPORT TFrustum FrustumFromMatrix(const TMatrix4& m);

}  // namespace sauno
