#include "engine/vectors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace sauno;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const TVector4& actual, const TVector4& expected, float tolerance = 1e-5f)
{
    for (size_t i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

void ExpectNear(const TMatrix4& actual, const TMatrix4& expected, float tolerance = 1e-5f)
{
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 4; ++j) EXPECT_NEAR(actual(i, j), expected(i, j), tolerance) << "(" << i << ", " << j << ")";
}

TMatrix4 Translation(float x, float y, float z)
{
    TMatrix4 m = IdentityMatrix;
    m.rows[3] = {x, y, z, 1};
    return m;
}

}  // namespace

TEST(Vectors, FourthComponentRules)
{
    EXPECT_EQ(Cross({0, 1, 0, 5}, {0, 0, 1, 7}), (TVector4{1, 0, 0, 0}));
    EXPECT_EQ(Length3({3, 4, 0, 7}), 5.0f);
    EXPECT_EQ(Dot({0, 0, 0, 2}, {0, 0, 0, 2}), 4.0f);
    ExpectNear(Normalize(TVector4{0, 3, 4, 1}), {0, 0.6f, 0.8f, 0});
    EXPECT_EQ(Dist2({1, 2, 3, 9}, {1, 0, 0, -9}), 13.0f);
    EXPECT_FALSE(BitEqual({0, 0, 0, 0}, {-0.0f, 0, 0, 0}));
    EXPECT_TRUE(IsZero3({-0.0f, 0, 0, 5}));
}

TEST(Vectors, RowVectorConvention)
{
    TMatrix4 m = Translation(10, 20, 30);
    EXPECT_EQ(Transform({1, 2, 3, 1}, m), (TVector4{11, 22, 33, 1}));
    EXPECT_EQ(Transform({1, 2, 3, 0}, m), (TVector4{1, 2, 3, 0}));  // directions ignore translation
    // GL reads the translation from elements 12..14.
    EXPECT_EQ(m.Data()[12], 10.0f);
    EXPECT_EQ(m.Data()[14], 30.0f);

    // MatMul(A, B) applies A first: rotate x onto -y, then translate.
    TMatrix4 rotate = AxisAngleMatrix(ZAxisVector, kPi / 2);
    ExpectNear(Transform({1, 0, 0, 1}, MatMul(rotate, m)), {10, 19, 30, 1});
    ExpectNear(Transform({1, 0, 0, 1}, MatMul(m, rotate)), {20, -11, 30, 1});
}

TEST(Vectors, AxisAngleTurnsRowVectorsByMinusAngle)
{
    ExpectNear(RotateAround({1, 0, 0, 0}, {0, 0, 5, 0}, kPi / 2), {0, -1, 0, 0});
    // A pitch of +90 degrees from the default orientation, as scene objects compute it.
    TVector4 direction{0, 0, 1, 0}, up{0, 1, 0, 0};
    TMatrix4 m = AxisAngleMatrix(Cross(direction, up), Radians(0 - 90));
    ExpectNear(Normalize(Transform(direction, m)), {0, 1, 0, 0});
    ExpectNear(Normalize(Transform(up, m)), {0, 0, -1, 0});
}

TEST(Vectors, Inverses)
{
    TMatrix4 singular = IdentityMatrix;
    singular.rows[2] = singular.rows[1];
    EXPECT_EQ(Inverse(singular), IdentityMatrix);
    TMatrix4 noRow0 = Translation(1, 2, 3);
    noRow0.rows[0] = NullVector;
    EXPECT_EQ(InverseRigid(noRow0), IdentityMatrix);

    TMatrix4 general{{{{2, 1, 0, 0}, {0, 3, 1, 0}, {1, 0, 4, 0}, {5, -2, 7, 1}}}};
    ExpectNear(MatMul(general, Inverse(general)), IdentityMatrix);

    // Rotation times uniform scale 2, then translation.
    TMatrix4 rotation = AxisAngleMatrix({1, 2, 3, 0}, 0.7f);
    TMatrix4 rigid = MatMul(MatMul(rotation, {{{{2, 0, 0, 0}, {0, 2, 0, 0}, {0, 0, 2, 0}, {0, 0, 0, 1}}}}),
                            Translation(4, -5, 6));
    ExpectNear(InverseRigid(rigid), Inverse(rigid));
    ExpectNear(Transform(Transform({1, 1, 1, 1}, rigid), InverseRigid(rigid)), {1, 1, 1, 1});
}

TEST(Vectors, AngleHelpers)
{
    EXPECT_EQ(WrapDegrees(190), -170.0f);
    EXPECT_EQ(WrapDegrees(-540), -180.0f);
    EXPECT_EQ(WrapDegrees(180), 180.0f);
    EXPECT_EQ(WrapDegrees(720), 0.0f);
    EXPECT_EQ(WrapDegrees(-190), 170.0f);
    EXPECT_NEAR(Acos(0.5f), kPi / 3, 1e-6f);
    // Rounding past the poles must not give NaN.
    EXPECT_EQ(Acos(1.0000001f), 0.0f);
    EXPECT_NEAR(Acos(-1.0000001f), kPi, 1e-6f);
}

TEST(Vectors, FrustumOfAPerspectiveProjection)
{
    // A projection for left -1, right 1, bottom -1, top 1, near 1, far 3, in GL's memory order.
    const float n = 1, f = 3;
    TMatrix4 projection{{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -(f + n) / (f - n), -1}, {0, 0, -2 * f * n / (f - n), 0}}}};
    TFrustum frustum = FrustumFromMatrix(MatMul(IdentityMatrix, projection));
    const float h = std::sqrt(0.5f);
    ExpectNear(frustum.left, {h, 0, -h, 0});
    ExpectNear(frustum.top, {0, -h, -h, 0});
    ExpectNear(frustum.right, {-h, 0, -h, 0});
    ExpectNear(frustum.bottom, {0, h, -h, 0});
    ExpectNear(frustum.near, {0, 0, -1, -1});
    ExpectNear(frustum.far, {0, 0, 1, 3});

    // The planes move with the model-view matrix: a camera shifted 10 along x.
    TFrustum shifted = FrustumFromMatrix(MatMul(Translation(-10, 0, 0), projection));
    EXPECT_NEAR(Dot(shifted.left, {10, 0, -2, 1}), Dot(frustum.left, {0, 0, -2, 1}), 1e-5f);
}
