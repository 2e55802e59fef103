#include "engine/vectors.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace sauno {

TVector4 Cross(const TVector4& a, const TVector4& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0};
}

TVector3 Cross(const TVector3& a, const TVector3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const TVector4& a, const TVector4& b) { return a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w; }
float Dot(const TVector3& a, const TVector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

float Length3(const TVector4& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
float Length3(const TVector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

TVector4 Normalize(const TVector4& v)
{
    const float inverse = 1.0f / Length3(v);
    return {v.x * inverse, v.y * inverse, v.z * inverse, 0};
}

TVector3 Normalize(const TVector3& v)
{
    const float inverse = 1.0f / Length3(v);
    return {v.x * inverse, v.y * inverse, v.z * inverse};
}

TVector4 Add(const TVector4& a, const TVector4& b) { return {a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w}; }
TVector4 Sub(const TVector4& a, const TVector4& b) { return {a.x - b.x, a.y - b.y, a.z - b.z, a.w - b.w}; }
TVector4 MulScalar(const TVector4& v, float s) { return {v.x * s, v.y * s, v.z * s, v.w * s}; }
TVector3 Add(const TVector3& a, const TVector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
TVector3 Sub(const TVector3& a, const TVector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
TVector3 MulScalar(const TVector3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

float Dist2(const TVector4& a, const TVector4& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

bool BitEqual(const TVector4& a, const TVector4& b)
{
    for (size_t i = 0; i < 4; ++i)
        if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i])) return false;
    return true;
}

bool IsZero3(const TVector4& v) { return v.x == 0 && v.y == 0 && v.z == 0; }

TVector4 Transform(const TVector4& v, const TMatrix4& m)
{
    TVector4 r;
    for (size_t j = 0; j < 4; ++j)
        r[j] = v.x * m(0, j) + v.y * m(1, j) + v.z * m(2, j) + v.w * m(3, j);
    return r;
}

TMatrix4 MatMul(const TMatrix4& a, const TMatrix4& b)
{
    TMatrix4 r;
    for (size_t i = 0; i < 4; ++i) r.rows[i] = Transform(a.rows[i], b);
    return r;
}

TMatrix4 AxisAngleMatrix(const TVector4& axis, float angle)
{
    const TVector4 n = Normalize(axis);
    const float x = n.x, y = n.y, z = n.z;
    const float c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    return {{{
        {t * x * x + c, t * x * y - z * s, t * z * x + y * s, 0},
        {t * x * y + z * s, t * y * y + c, t * y * z - x * s, 0},
        {t * z * x - y * s, t * y * z + x * s, t * z * z + c, 0},
        {0, 0, 0, 1},
    }}};
}

TVector4 RotateAround(const TVector4& v, const TVector4& axis, float angle)
{
    return Transform(v, AxisAngleMatrix(axis, angle));
}

namespace {

float Det3(float a1, float a2, float a3, float b1, float b2, float b3, float c1, float c2, float c3)
{
    return a1 * (b2 * c3 - b3 * c2) - b1 * (a2 * c3 - a3 * c2) + c1 * (a2 * b3 - a3 * b2);
}

// The minor of element (row, col): the 3 x 3 determinant without that row and column.
float Minor(const TMatrix4& m, size_t row, size_t col)
{
    float e[9];
    size_t k = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (i == row) continue;
        for (size_t j = 0; j < 4; ++j)
            if (j != col) e[k++] = m(i, j);
    }
    return Det3(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
}

float Determinant(const TMatrix4& m)
{
    float d = 0;
    for (size_t j = 0; j < 4; ++j) {
        const float term = m(0, j) * Minor(m, 0, j);
        d += (j % 2 == 0) ? term : -term;
    }
    return d;
}

constexpr float kDegenerate = 1e-40f;

}  // namespace

TMatrix4 Inverse(const TMatrix4& m)
{
    const float d = Determinant(m);
    if (std::fabs(d) < kDegenerate) return IdentityMatrix;
    const float k = 1.0f / d;
    TMatrix4 r;
    // Adjugate: the cofactor of (i, j) goes to (j, i).
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 4; ++j) {
            const float cofactor = ((i + j) % 2 == 0) ? Minor(m, i, j) : -Minor(m, i, j);
            r(j, i) = cofactor * k;
        }
    return r;
}

TMatrix4 InverseRigid(const TMatrix4& m)
{
    const TVector4& x = m.rows[0];
    const float s = x.x * x.x + x.y * x.y + x.z * x.z;
    if (std::fabs(s) < kDegenerate) return IdentityMatrix;
    const float k = 1.0f / s;
    TMatrix4 r;
    for (size_t i = 0; i < 3; ++i) {
        for (size_t j = 0; j < 3; ++j) r(i, j) = m(j, i) * k;
        r(i, 3) = 0;
    }
    const TVector4& t = m.rows[3];
    for (size_t i = 0; i < 3; ++i) r(3, i) = -(r(0, i) * t.x + r(1, i) * t.y + r(2, i) * t.z);
    r(3, 3) = 1;
    return r;
}

float Radians(float degrees) { return degrees * (std::numbers::pi_v<float> / 180.0f); }

float WrapDegrees(float degrees)
{
    float r = degrees - std::trunc(degrees * (1.0f / 360.0f)) * 360.0f;
    if (r > 180) r -= 360;
    else if (r < -180) r += 360;
    return r;
}

float Clamp(float value, float min, float max)
{
    if (value < min) return min;
    if (value > max) return max;
    return value;
}

float Acos(float x)
{
    // Rounding can carry the dot product of two unit vectors just past 1; that is the pole, not NaN.
    const float sine2 = 1 - x * x;
    return std::atan2(std::sqrt(sine2 > 0 ? sine2 : 0.0f), x);
}

TFrustum FrustumFromMatrix(const TMatrix4& m)
{
    auto column = [&m](size_t j) { return TVector4{m(0, j), m(1, j), m(2, j), m(3, j)}; };
    const TVector4 c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
    auto normalised = [](const TPlane& p) { return MulScalar(p, 1.0f / Length3(p)); };
    return {
        normalised(Add(c3, c0)),  // left
        normalised(Sub(c3, c1)),  // top
        normalised(Sub(c3, c0)),  // right
        normalised(Add(c3, c1)),  // bottom
        normalised(Add(c3, c2)),  // near
        normalised(Sub(c3, c2)),  // far
    };
}

}  // namespace sauno
