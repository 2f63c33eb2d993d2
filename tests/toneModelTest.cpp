// The tone model on its own: worked values, limits and the order of its terms.
#include "toneModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using tone::LightElement;
using tone::ToneInputs;
using tone::Triple;

namespace {

// A few float roundings of values near 1: products of three or four inputs.
constexpr float kTol = 1e-6f;
// powf and a normalisation stand between the inputs and the highlight.
constexpr float kSpecTol = 2e-5f;

// The worked example: C = (1, 0.5, 0), alpha 0.2, beta 0.6, blue = yellow = 0.4,
// so Kc = (0.2, 0.1, 0.4) and Kw = (1.0, 0.7, 0.0); kd 0.8; everything else off.
ToneInputs worked()
{
    ToneInputs in{};
    in.normal = {0.0f, 0.0f, 1.0f};
    in.view = {0.0f, 0.0f, -1.0f};
    in.colour = {1.0f, 0.5f, 0.0f};
    in.transparency = {0.0f, 0.0f, 0.0f};
    in.ambientColour = {0.0f, 0.0f, 0.0f};
    in.incandescence = {0.0f, 0.0f, 0.0f};
    in.diffuse = 0.8f;
    in.translucence = 0.0f;
    in.alpha = 0.2f;
    in.beta = 0.6f;
    in.blue = 0.4f;
    in.yellow = 0.4f;
    in.specularColour = {0.0f, 0.0f, 0.0f};
    in.eccentricity = 0.3f;
    in.rollOff = 0.7f;
    in.outlineWidth = 0.0f;
    in.outlineColour = {0.744f, 0.744f, 0.821f};
    return in;
}

LightElement diffuseOnly(Triple direction)
{
    return LightElement{{1.0f, 1.0f, 1.0f}, direction, 1.0f, false, true, false};
}

void expectNear(const Triple& actual, const Triple& expected, float tol)
{
    EXPECT_NEAR(actual.x, expected.x, tol);
    EXPECT_NEAR(actual.y, expected.y, tol);
    EXPECT_NEAR(actual.z, expected.z, tol);
}

}  // namespace

TEST(ToneTerms, CoolAndWarmColoursOfTheWorkedExample)
{
    const ToneInputs in = worked();
    expectNear(tone::coolColour(in.colour, in.alpha, in.blue), {0.2f, 0.1f, 0.4f}, kTol);
    expectNear(tone::warmColour(in.colour, in.beta, in.yellow), {1.0f, 0.7f, 0.0f}, kTol);
    EXPECT_EQ(tone::toneWeight(1.0f), 1.0f);
    EXPECT_EQ(tone::toneWeight(0.0f), 0.5f);
    EXPECT_EQ(tone::toneWeight(-1.0f), 0.0f);
    EXPECT_EQ(tone::toneWeight(3.0f), 2.0f) << "the tone weight is not clamped";
}

TEST(ToneModel, FacingEdgeOnAndTurnedAwayLights)
{
    const ToneInputs in = worked();
    const LightElement facing = diffuseOnly({0.0f, 0.0f, 1.0f});
    const LightElement edgeOn = diffuseOnly({1.0f, 0.0f, 0.0f});
    const LightElement away = diffuseOnly({0.0f, 0.0f, -1.0f});
    expectNear(tone::toneShade(in, &facing, 1), {0.16f, 0.08f, 0.32f}, kTol);
    expectNear(tone::toneShade(in, &edgeOn, 1), {0.48f, 0.32f, 0.16f}, kTol);
    expectNear(tone::toneShade(in, &away, 1), {0.8f, 0.56f, 0.0f}, kTol);
}

TEST(ToneModel, LightColourDoesNotTintTheToneButPreShadowScalesIt)
{
    const ToneInputs in = worked();
    LightElement light = diffuseOnly({0.0f, 0.0f, 1.0f});
    light.intensity = {5.0f, 0.0f, 2.0f};
    expectNear(tone::toneShade(in, &light, 1), {0.16f, 0.08f, 0.32f}, kTol);
    light.preShadowIntensity = 0.5f;
    expectNear(tone::toneShade(in, &light, 1), {0.08f, 0.04f, 0.16f}, kTol);
}

TEST(ToneModel, EmptyLightListLeavesAmbientColourAndIncandescence)
{
    ToneInputs in = worked();
    in.ambientColour = {0.5f, 0.25f, 1.0f};
    in.incandescence = {0.1f, 0.2f, 0.3f};
    in.transparency = {0.5f, 0.0f, 0.25f};
    // ((Ka * C) + Ki) * (1 - Tr), outline off.
    expectNear(tone::toneShade(in, nullptr, 0), {0.3f, 0.325f, 0.225f}, kTol);

    in.outlineWidth = 1.0f;
    in.normal = {1.0f, 0.0f, 0.0f};  // edge-on, so inside the band
    const Triple co = in.outlineColour;
    expectNear(tone::toneShade(in, nullptr, 0), {0.6f * co.x * 0.5f, 0.325f * co.y, 0.3f * co.z * 0.75f}, kTol);
}

TEST(ToneModel, ALightWithEverySwitchOffStillAddsTranslucence)
{
    ToneInputs in = worked();
    in.translucence = 0.5f;
    const LightElement dark{{0.5f, 1.0f, 2.0f}, {0.0f, 0.0f, -1.0f}, 0.0f, false, false, false};
    // (C * I) * kt, whatever the angle or the pre-shadow intensity.
    expectNear(tone::toneShade(in, &dark, 1), {0.25f, 0.25f, 0.0f}, kTol);
}

TEST(ToneModel, AmbientSwitchAddsIntensityTimesColour)
{
    const ToneInputs in = worked();
    const LightElement ambient{{0.5f, 1.0f, 2.0f}, {0.0f, 0.0f, 1.0f}, 1.0f, true, false, false};
    expectNear(tone::toneShade(in, &ambient, 1), {0.5f, 0.5f, 0.0f}, kTol);
}

TEST(ToneModel, UnnormalisedNormalExtrapolatesToneButNotOutline)
{
    ToneInputs in = worked();
    in.normal = {0.0f, 0.0f, 3.0f};  // dot(N, L) = 3, t = 2
    in.outlineWidth = 0.5f;          // |dot(E, N)| is 1 once normalised: outside the band
    const LightElement facing = diffuseOnly({0.0f, 0.0f, 1.0f});
    // (2 * Kc - Kw) * 0.8
    expectNear(tone::toneShade(in, &facing, 1), {-0.48f, -0.4f, 0.64f}, kTol);

    // The outline test sees the normalised normal: a long normal seen at 60 degrees
    // (|dot| = 0.5 once normalised) sits just outside a band of width 0.49.
    in.normal = {0.0f, 3.0f * std::sqrt(3.0f), 3.0f};
    in.outlineWidth = 0.49f;
    expectNear(tone::outlineFactor(in), {1.0f, 1.0f, 1.0f}, 0.0f);
    in.outlineWidth = 0.51f;
    expectNear(tone::outlineFactor(in), in.outlineColour, 0.0f);
}

TEST(ToneModel, HighlightAtItsPeakAndOffPeak)
{
    ToneInputs in = worked();
    in.specularColour = {1.0f, 0.5f, 0.25f};
    in.diffuse = 0.0f;
    in.transparency = {1.0f, 1.0f, 1.0f};  // only the highlight survives
    LightElement light{{2.0f, 2.0f, 2.0f}, {0.0f, 0.0f, 1.0f}, 1.0f, false, false, true};
    // H = N, c = 1: s = r for every positive eccentricity.
    expectNear(tone::toneShade(in, &light, 1), {1.4f, 0.7f, 0.35f}, kSpecTol);

    // L = (0.6, 0, 0.8): H = normalise(0.6, 0, 1.8), c = 0.948683, exponent 20.
    light.direction = {0.6f, 0.0f, 0.8f};
    const float s = 0.34868f * in.rollOff;
    expectNear(tone::toneShade(in, &light, 1), {s * 2.0f, s * 1.0f, s * 0.5f}, 1e-4f);
}

TEST(ToneModel, HalfVectorTurnedAwayGivesNoHighlight)
{
    ToneInputs in = worked();
    in.specularColour = {1.0f, 1.0f, 1.0f};
    in.diffuse = 0.0f;
    const LightElement behind{{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, -1.0f}, 1.0f, false, false, true};
    // L = -V makes L - V zero: normalising leaves it zero, c = 0.
    expectNear(tone::toneShade(in, &behind, 1), {0.0f, 0.0f, 0.0f}, 0.0f);
    const LightElement grazing{{1.0f, 1.0f, 1.0f}, {0.0f, 0.6f, -1.8f}, 1.0f, false, false, true};
    expectNear(tone::toneShade(in, &grazing, 1), {0.0f, 0.0f, 0.0f}, 0.0f);
}

TEST(ToneModel, EccentricityZeroIsAPinPoint)
{
    ToneInputs in = worked();
    in.specularColour = {1.0f, 1.0f, 1.0f};
    in.diffuse = 0.0f;
    in.eccentricity = 0.0f;
    const LightElement peak{{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}, 1.0f, false, false, true};
    expectNear(tone::toneShade(in, &peak, 1), {0.7f, 0.7f, 0.7f}, 0.0f);
    const LightElement off{{1.0f, 1.0f, 1.0f}, {0.6f, 0.0f, 0.8f}, 1.0f, false, false, true};
    expectNear(tone::toneShade(in, &off, 1), {0.0f, 0.0f, 0.0f}, 0.0f);
}

TEST(ToneModel, SpecularExponentIsSixOverEccentricity)
{
    EXPECT_FLOAT_EQ(tone::specularExponent(0.3f), 20.0f);
    EXPECT_FLOAT_EQ(tone::specularExponent(6.0f), 1.0f);
    EXPECT_EQ(tone::specularExponent(0.0f), std::numeric_limits<float>::infinity());
}

TEST(ToneModel, OutlineBandEdges)
{
    ToneInputs in = worked();
    in.incandescence = {1.0f, 1.0f, 1.0f};
    const Triple co = in.outlineColour;
    const Triple white{1.0f, 1.0f, 1.0f};

    // Width 0: no band anywhere, even exactly edge-on.
    in.normal = {1.0f, 0.0f, 0.0f};
    in.outlineWidth = 0.0f;
    expectNear(tone::toneShade(in, nullptr, 0), white, 0.0f);
    // Exactly edge-on (g = 0) lies in the band for every positive width.
    in.outlineWidth = 1e-6f;
    expectNear(tone::toneShade(in, nullptr, 0), co, 0.0f);

    // Width 1: everything not seen exactly head-on is in the band.
    in.outlineWidth = 1.0f;
    in.normal = {0.0f, 0.01f, 1.0f};
    expectNear(tone::toneShade(in, nullptr, 0), co, 0.0f);
    in.normal = {0.0f, 0.0f, 1.0f};
    expectNear(tone::toneShade(in, nullptr, 0), white, 0.0f);

    // w equal to g is outside the band: N at 60 degrees to the eye gives g = 0.5.
    in.normal = {0.0f, 0.8660254f, 0.5f};
    Triple n = in.normal;
    tone::normalise(n);
    in.outlineWidth = std::fabs(tone::dot(-in.view, n));
    expectNear(tone::toneShade(in, nullptr, 0), white, 0.0f);
}

TEST(ToneModel, HighlightEscapesOutlineAndTransparency)
{
    ToneInputs in = worked();
    in.specularColour = {1.0f, 1.0f, 1.0f};
    in.incandescence = {0.3f, 0.3f, 0.3f};
    in.transparency = {1.0f, 1.0f, 1.0f};
    in.outlineWidth = 1.0f;
    in.outlineColour = {0.0f, 0.0f, 0.0f};
    in.normal = {0.0f, 0.01f, 1.0f};
    tone::normalise(in.normal);
    const LightElement light{{1.0f, 1.0f, 1.0f}, in.normal, 1.0f, true, true, true};
    const Triple r = tone::toneShade(in, &light, 1);
    // Only S remains: r * c^20 with c a hair under 1.
    EXPECT_GT(r.x, 0.69f);
    EXPECT_EQ(r.x, r.y);
    EXPECT_EQ(r.y, r.z);
}

TEST(ToneModel, SumsAccumulateInLightOrder)
{
    const ToneInputs in = worked();
    const LightElement lights[2] = {diffuseOnly({0.0f, 0.0f, 1.0f}), diffuseOnly({0.0f, 0.0f, -1.0f})};
    // Two lights add, they are not averaged.
    expectNear(tone::toneShade(in, lights, 2), {0.96f, 0.64f, 0.32f}, kTol);
}

TEST(ToneModel, NormaliseKeepsTinyVectors)
{
    Triple zero{0.0f, 0.0f, 0.0f};
    tone::normalise(zero);
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    Triple tiny{1e-11f, 0.0f, 0.0f};
    tone::normalise(tiny);
    EXPECT_EQ(tiny.x, 1e-11f);
    Triple v{3.0f, 0.0f, 4.0f};
    tone::normalise(v);
    expectNear(v, {0.6f, 0.0f, 0.8f}, kTol);
}
