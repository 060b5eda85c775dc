#include "geometry/vec3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

static void expectVec(vec3 v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.x, x);
    EXPECT_FLOAT_EQ(v.y, y);
    EXPECT_FLOAT_EQ(v.z, z);
}

TEST(Vec3, OperatorsKeepOperandOrder)
{
    vec3 a(1, 2, 3), b(1, 1, 1);
    expectVec(a - b, 0, 1, 2);
    expectVec(b - a, 0, -1, -2);
    expectVec(a + b, 2, 3, 4);
    expectVec(a * 2.5f, 2.5f, 5, 7.5f);
    expectVec(a / 2.0f, 0.5f, 1, 1.5f);
    expectVec(vec3(), 0, 0, 0);
    // Operands are values: neither changes.
    expectVec(a, 1, 2, 3);
    expectVec(b, 1, 1, 1);
}

TEST(Vec3, DefaultFrame)
{
    positions p;
    expectVec(p[0], 0, 0, 0);
    expectVec(p[1], 1, 0, 0);
    expectVec(p[2], 0, 0, 1);
    expectVec(p[3], 0, 1, 0);
}

TEST(Vec3, Distance)
{
    EXPECT_FLOAT_EQ(retDis(vec3(0, 0, 0), vec3(3, 4, 0)), 5.0f);
    vec3 a(1.5f, -2, 7), b(-3, 0.25f, 2);
    EXPECT_EQ(retDis(a, b), retDis(b, a));
    EXPECT_EQ(retDis(a, a), 0.0f);
}

TEST(Vec3, DistanceOfTinyDifferenceIsPositive)
{
    // The float squares of 1e-30 underflow to 0; summed in double they do not.
    vec3 a(0, 0, 0), b(1e-30f, 0, 0);
    EXPECT_GT(retDis(a, b), 0.0f);
    vec3 n = retNrm(a, b);
    expectVec(n, 1, 0, 0);
    vec3 m = retNrm(b, a);
    expectVec(m, -1, 0, 0);
}

TEST(Vec3, NormalPointsFromFirstToSecond)
{
    expectVec(retNrm(vec3(0, 0, 0), vec3(0, 0, 5)), 0, 0, 1);
    expectVec(retNrm(vec3(0, 0, 5), vec3(0, 0, 0)), 0, 0, -1);
    vec3 n = retNrm(vec3(1, 2, 3), vec3(-4, 7, 0.5f));
    EXPECT_NEAR(std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z), 1.0, 1e-6);
    EXPECT_LT(n.x, 0.0f);
    EXPECT_GT(n.y, 0.0f);
}

TEST(Vec3, NormalOfCoincidingOrNanPointsIsPlusX)
{
    expectVec(retNrm(vec3(3, -2, 9), vec3(3, -2, 9)), 1, 0, 0);
    expectVec(retNrm(vec3(), vec3()), 1, 0, 0);
    float nan = std::numeric_limits<float>::quiet_NaN();
    expectVec(retNrm(vec3(), vec3(nan, 0, 0)), 1, 0, 0);
}
