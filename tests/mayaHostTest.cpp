// The Maya stand-in where its behaviour is subtle.
#include <maya/MFloatVector.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MPlug.h>

#include <gtest/gtest.h>

TEST(MayaStandin, NormalizeLeavesZeroAndTinyVectorsAlone)
{
    MFloatVector zero(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(zero.normalize(), MS::kSuccess);
    EXPECT_EQ(zero, MFloatVector(0.0f, 0.0f, 0.0f));
    MFloatVector tiny(1e-11f, 0.0f, 0.0f);  // squared length 1e-22
    tiny.normalize();
    EXPECT_EQ(tiny.x, 1e-11f);
    MFloatVector v(0.0f, 3.0f, 4.0f);
    v.normalize();
    EXPECT_FLOAT_EQ(v.y, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
}

TEST(MayaStandin, FloatVectorOperatorsAreDotAndCross)
{
    const MFloatVector x(1.0f, 0.0f, 0.0f), y(0.0f, 1.0f, 0.0f);
    EXPECT_EQ(x * y, 0.0f);
    EXPECT_EQ(x ^ y, MFloatVector(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(2.0f * x, x * 2.0f);
}
