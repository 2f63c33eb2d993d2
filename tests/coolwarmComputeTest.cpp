// The coolwarm node's compute, driven through the Maya stand-in as the renderer
// drives it.
#include "nodeSample.h"
#include "pluginFixture.h"
#include "toneModel.h"

#include <maya/MFloatVector.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

using mayahost::AttrValue;
using mayahost::LightSample;
using mayahost::Node;

namespace {

// A product of three or four single-precision inputs near 1.
constexpr float kTol = 1e-6f;

// The worked example: C = (1, 0.5, 0), alpha 0.2, beta 0.6, blue = yellow = 0.4,
// diffuse 0.8, no specular, translucence or outline.
void setWorked(Node& node)
{
    node.setAttr("color", v3(1.0f, 0.5f, 0.0f));
    node.setAttr("alpha", v1(0.2f));
    node.setAttr("beta", v1(0.6f));
    node.setAttr("blue", v1(0.4f));
    node.setAttr("yellow", v1(0.4f));
    node.setAttr("diffuse", v1(0.8f));
    node.setAttr("outLineWidth", v1(0.0f));
    node.setAttr("normalCamera", v3(0.0f, 0.0f, 1.0f));
    node.setAttr("rayDirection", v3(0.0f, 0.0f, -1.0f));
}

LightSample light(float dx, float dy, float dz, bool ambient, bool diffuse, bool specular)
{
    LightSample l;
    l.direction[0] = dx;
    l.direction[1] = dy;
    l.direction[2] = dz;
    l.ambient = ambient;
    l.diffuse = diffuse;
    l.specular = specular;
    return l;
}

void expectColour(const AttrValue& c, float r, float g, float b, float tol)
{
    ASSERT_EQ(c.count, 3);
    EXPECT_NEAR(c.v[0], r, tol);
    EXPECT_NEAR(c.v[1], g, tol);
    EXPECT_NEAR(c.v[2], b, tol);
}

class CoolwarmCompute : public testing::Test {
protected:
    void SetUp() override { loadedPlugin(); }
};

}  // namespace

TEST_F(CoolwarmCompute, WorkedToneValues)
{
    Node node("coolwarm");
    setWorked(node);
    struct Case { float dz, dx; float r, g, b; };
    for (const Case c : {Case{1.0f, 0.0f, 0.16f, 0.08f, 0.32f}, Case{0.0f, 1.0f, 0.48f, 0.32f, 0.16f},
                         Case{-1.0f, 0.0f, 0.8f, 0.56f, 0.0f}}) {
        const LightSample l = light(c.dx, 0.0f, c.dz, false, true, false);
        node.setLights(&l, 1);
        expectColour(node.getAttr("outColor"), c.r, c.g, c.b, kTol);
    }
}

TEST_F(CoolwarmCompute, EmptyLightArrayGivesAmbientAndIncandescenceOnly)
{
    Node node("coolwarm");
    node.setAttr("ambientColor", v3(0.5f, 0.25f, 1.0f));
    node.setAttr("incandescence", v3(0.1f, 0.2f, 0.3f));
    node.setAttr("transparency", v3(0.5f, 0.0f, 0.25f));
    node.setAttr("normalCamera", v3(0.0f, 0.0f, 1.0f));
    node.setAttr("rayDirection", v3(0.0f, 0.0f, -1.0f));  // head-on: outside the outline band
    node.setLights(nullptr, 0);
    // ((Ka * C) + Ki) * (1 - Tr) with C = 0.5.
    expectColour(node.getAttr("outColor"), 0.35f * 0.5f, 0.325f, 0.8f * 0.75f, kTol);

    // Edge-on to the viewer the outline colour multiplies it.
    node.setAttr("normalCamera", v3(1.0f, 0.0f, 0.0f));
    expectColour(node.getAttr("outColor"), 0.35f * 0.5f * 0.744f, 0.325f * 0.744f, 0.8f * 0.75f * 0.821f, kTol);
}

TEST_F(CoolwarmCompute, ChildPlugsComputeTheWholeOutput)
{
    Node node("coolwarm");
    setWorked(node);
    const LightSample l = light(0.0f, 0.0f, 1.0f, false, true, false);
    node.setLights(&l, 1);
    EXPECT_EQ(node.computeCalls(), 0u);
    EXPECT_NEAR(node.getAttr("outColorG").v[0], 0.08f, kTol);
    EXPECT_EQ(node.computeCalls(), 1u);
    EXPECT_EQ(node.lastComputePlug(), "outColorG");
    for (const char* name : {"outColor", "outColorR", "outColorG", "outColorB"})
        EXPECT_FALSE(node.isDirty(name)) << name;
    expectColour(node.peekAttr("outColor"), 0.16f, 0.08f, 0.32f, kTol);
    EXPECT_TRUE(node.isDirty("outTransparency")) << "the colour path does not write outTransparency";
    node.getAttr("outColorB");
    EXPECT_EQ(node.computeCalls(), 1u) << "a clean output is not computed again";

    node.setAttr("transparency", v3(0.1f, 0.2f, 0.3f));
    EXPECT_NEAR(node.getAttr("outTransparencyB").v[0], 0.3f, 0.0f);
    expectColour(node.peekAttr("outTransparency"), 0.1f, 0.2f, 0.3f, 0.0f);
    EXPECT_FALSE(node.isDirty("outTransparency"));
    EXPECT_TRUE(node.isDirty("outColor")) << "the transparency path does not write outColor";
}

TEST_F(CoolwarmCompute, OtherPlugsAreUnknownAndTouchNothing)
{
    Node node("coolwarm");
    setWorked(node);
    const LightSample l = light(0.0f, 0.0f, 1.0f, true, true, true);
    node.setLights(&l, 1);
    const AttrValue before = node.peekAttr("outColor");
    for (const char* name : {"color", "colorR", "transparency", "lightDataArray", "normalCamera", "diffuse"}) {
        EXPECT_EQ(node.computePlug(name), MS::kUnknownParameter) << name;
    }
    const AttrValue after = node.peekAttr("outColor");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(before.v[i], after.v[i]);
    EXPECT_TRUE(node.isDirty("outColor"));
    EXPECT_TRUE(node.isDirty("outTransparency"));
}

TEST_F(CoolwarmCompute, WalkStopsWhenNextFails)
{
    Node node("coolwarm");
    setWorked(node);
    const LightSample lights[3] = {light(0.0f, 0.0f, 1.0f, false, true, false),
                                   light(0.0f, 0.0f, -1.0f, false, true, false),
                                   light(0.0f, 0.0f, -1.0f, false, true, false)};
    node.setLights(lights, 3);
    node.failArrayNextAfter("lightDataArray", 1);
    expectColour(node.getAttr("outColor"), 0.16f, 0.08f, 0.32f, kTol);
    node.failArrayNextAfter("lightDataArray", 2);
    node.setLights(lights, 3);
    expectColour(node.getAttr("outColor"), 0.96f, 0.64f, 0.32f, kTol);
    node.failArrayNextAfter("lightDataArray", -1);
    node.setLights(lights, 3);
    expectColour(node.getAttr("outColor"), 1.76f, 1.2f, 0.32f, kTol);
}

TEST_F(CoolwarmCompute, ShadowFractionAndBlindDataHaveNoEffect)
{
    Node node("coolwarm");
    setWorked(node);
    node.setAttr("translucence", v1(0.3f));
    node.setAttr("specularColor", v3(1.0f, 1.0f, 1.0f));
    LightSample l = light(0.0f, 0.6f, 0.8f, true, true, true);
    node.setLights(&l, 1);
    const AttrValue reference = node.getAttr("outColor");
    int blind = 0;
    l.shadowFraction = 0.0f;
    l.blindData = &blind;
    node.setLights(&l, 1);
    const AttrValue changed = node.getAttr("outColor");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(reference.v[i], changed.v[i]);
}

TEST_F(CoolwarmCompute, TransparencyDirtiesBothOutputsEverythingElseOnlyOutColor)
{
    Node node("coolwarm");
    for (const char* input : {"transparency", "transparencyR", "transparencyG", "transparencyB"}) {
        node.getAttr("outColor");
        node.getAttr("outTransparency");
        const unsigned long before = node.computeCalls();
        const mayahost::Attribute* a = node.type().find(input);
        node.setAttr(input, a->valueCount() == 3 ? v3(0.5f, 0.5f, 0.5f) : v1(0.25f));
        EXPECT_TRUE(node.isDirty("outColor")) << input;
        EXPECT_TRUE(node.isDirty("outTransparency")) << input;
        node.getAttr("outColor");
        node.getAttr("outTransparency");
        EXPECT_EQ(node.computeCalls(), before + 2) << input;
    }
    for (const auto& a : node.type().attributes) {
        const std::string name = a->longName;
        const bool settable = a->flags.writable && !(a->parent && !a->parent->flags.writable);
        if (!settable || a->arrayRoot || a->flags.array || name.rfind("transparency", 0) == 0)
            continue;
        node.getAttr("outColor");
        node.getAttr("outTransparency");
        node.setAttr(name, a->valueCount() == 3 ? v3(0.5f, 0.5f, 0.5f) : v1(0.25f));
        EXPECT_TRUE(node.isDirty("outColor")) << name;
        EXPECT_FALSE(node.isDirty("outTransparency")) << name;
    }
    node.getAttr("outTransparency");
    node.getAttr("outColor");
    const LightSample l;
    node.setLights(&l, 1);
    EXPECT_TRUE(node.isDirty("outColor"));
    EXPECT_FALSE(node.isDirty("outTransparency"));
}

namespace {

float uniform(std::mt19937& rng, float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }

tone::Triple randomTriple(std::mt19937& rng, float lo, float hi)
{
    return {uniform(rng, lo, hi), uniform(rng, lo, hi), uniform(rng, lo, hi)};
}

Sample randomSample(std::mt19937& rng)
{
    Sample s;
    tone::ToneInputs& in = s.in;
    in.normal = randomTriple(rng, -1.5f, 1.5f);
    in.view = randomTriple(rng, -1.0f, 1.0f);
    in.colour = randomTriple(rng, 0.0f, 1.0f);
    in.transparency = randomTriple(rng, 0.0f, 1.0f);
    in.ambientColour = randomTriple(rng, 0.0f, 0.5f);
    in.incandescence = randomTriple(rng, 0.0f, 0.5f);
    in.diffuse = uniform(rng, 0.0f, 1.0f);
    in.translucence = uniform(rng, 0.0f, 1.0f);
    in.alpha = uniform(rng, 0.0f, 1.0f);
    in.beta = uniform(rng, 0.0f, 1.0f);
    in.blue = uniform(rng, 0.0f, 1.0f);
    in.yellow = uniform(rng, 0.0f, 1.0f);
    in.specularColour = randomTriple(rng, 0.0f, 1.0f);
    in.eccentricity = uniform(rng, 0.05f, 1.0f);
    in.rollOff = uniform(rng, 0.0f, 1.0f);
    in.outlineWidth = uniform(rng, 0.0f, 1.0f);
    in.outlineColour = randomTriple(rng, 0.0f, 1.0f);
    const int count = std::uniform_int_distribution<int>(0, 4)(rng);
    for (int i = 0; i < count; ++i) {
        tone::LightElement l;
        l.intensity = randomTriple(rng, 0.0f, 2.0f);
        l.direction = randomTriple(rng, -1.0f, 1.0f);
        l.preShadowIntensity = uniform(rng, 0.0f, 1.0f);
        l.ambient = rng() & 1;
        l.diffuse = rng() & 1;
        l.specular = rng() & 1;
        s.lights.push_back(l);
    }
    return s;
}

}  // namespace

TEST_F(CoolwarmCompute, PluginAndToneModelAgreeBitForBit)
{
    std::mt19937 rng(20261207);
    for (int i = 0; i < 300; ++i) {
        const Sample s = randomSample(rng);
        Node node("coolwarm");
        setInputs(node, s.in);
        mayahost::ShadingSampler sampler(node);
        const tone::Triple viaPlugin = shadeThrough(sampler, s);
        const tone::Triple direct = tone::toneShade(s.in, s.lights.data(), s.lights.size());
        ASSERT_EQ(viaPlugin.x, direct.x) << "sample " << i;
        ASSERT_EQ(viaPlugin.y, direct.y) << "sample " << i;
        ASSERT_EQ(viaPlugin.z, direct.z) << "sample " << i;
    }
}

TEST_F(CoolwarmCompute, ThreadsShadingOneNodeAgreeWithOneThread)
{
    std::mt19937 rng(7);
    Sample base = randomSample(rng);
    Node node("coolwarm");
    setInputs(node, base.in);
    std::vector<Sample> samples;
    for (int i = 0; i < 400; ++i) {
        Sample s = randomSample(rng);
        s.in = base.in;  // the node's inputs are shared; the sample inputs and lights vary
        const Sample geometry = randomSample(rng);
        s.in.normal = geometry.in.normal;
        s.in.view = geometry.in.view;
        samples.push_back(s);
    }
    std::vector<tone::Triple> expected;
    {
        mayahost::ShadingSampler sampler(node);
        for (const Sample& s : samples)
            expected.push_back(shadeThrough(sampler, s));
    }
    const int kThreads = 4;
    std::vector<std::vector<tone::Triple>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            mayahost::ShadingSampler sampler(node);
            for (int round = 0; round < 5; ++round)
                for (std::size_t i = t; i < samples.size(); i += 1 + t % 2)
                    results[t].push_back(shadeThrough(sampler, samples[i]));
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t) {
        std::size_t k = 0;
        for (int round = 0; round < 5; ++round)
            for (std::size_t i = t; i < samples.size(); i += 1 + t % 2, ++k) {
                ASSERT_EQ(results[t][k].x, expected[i].x);
                ASSERT_EQ(results[t][k].y, expected[i].y);
                ASSERT_EQ(results[t][k].z, expected[i].z);
            }
    }
}

namespace {

// |dot(-V, N)| after normalising N and V by dividing by their length, the rule
// Maya's normalize does not follow.
float dividedCosine(const MFloatVector& n, const MFloatVector& v)
{
    const MFloatVector un = n / n.length();
    const MFloatVector uv = v / v.length();
    return std::fabs(-uv * un);
}

float hostCosine(MFloatVector n, MFloatVector v)
{
    n.normalize();
    v.normalize();
    return std::fabs(-v * n);
}

}  // namespace

// Right at the edge of the outline band, the last bit of the normalised N and V
// decides; the node's outline test must see them as Maya's normalize makes them.
TEST_F(CoolwarmCompute, OutlineBandEdgeFollowsTheHostsNormalize)
{
    std::mt19937 rng(11);
    int found = 0;
    for (int i = 0; i < 200000 && found < 20; ++i) {
        const MFloatVector n(uniform(rng, -2.0f, 2.0f), uniform(rng, -2.0f, 2.0f), uniform(rng, -2.0f, 2.0f));
        const MFloatVector v(uniform(rng, -2.0f, 2.0f), uniform(rng, -2.0f, 2.0f), uniform(rng, -2.0f, 2.0f));
        const float byHost = hostCosine(n, v);
        const float byDivision = dividedCosine(n, v);
        if (byHost == byDivision || byHost > 1.0f || byDivision > 1.0f)
            continue;
        ++found;
        // The width lies between the two: in the band by one rule, outside by the other.
        const float width = std::max(byHost, byDivision);
        const bool inBand = width > byHost;
        Node node("coolwarm");
        node.setAttr("incandescence", v3(1.0f, 1.0f, 1.0f));
        node.setAttr("outLineColor", v3(0.25f, 0.5f, 0.75f));
        node.setAttr("outLineWidth", v1(width));
        node.setAttr("normalCamera", v3(n.x, n.y, n.z));
        node.setAttr("rayDirection", v3(v.x, v.y, v.z));
        node.setLights(nullptr, 0);
        const AttrValue c = node.getAttr("outColor");
        EXPECT_EQ(c.v[0], inBand ? 0.25f : 1.0f) << "N " << n.x << " " << n.y << " " << n.z << ", V " << v.x
                                                  << " " << v.y << " " << v.z << ", width " << width;
    }
    EXPECT_EQ(found, 20) << "too few vectors where the two rules differ";
}

TEST(HostRules, ToneNormaliseMatchesMFloatVectorNormalizeBitForBit)
{
    std::mt19937 rng(5);
    int differsFromDivision = 0;
    for (int i = 0; i < 100000; ++i) {
        const float scale = std::ldexp(1.0f, static_cast<int>(rng() % 40) - 20);
        MFloatVector host(uniform(rng, -1.0f, 1.0f) * scale, uniform(rng, -1.0f, 1.0f) * scale,
                          uniform(rng, -1.0f, 1.0f) * scale);
        tone::Triple model{host.x, host.y, host.z};
        const MFloatVector divided = host / host.length();
        host.normalize();
        tone::normalise(model);
        ASSERT_EQ(model.x, host.x);
        ASSERT_EQ(model.y, host.y);
        ASSERT_EQ(model.z, host.z);
        if (!(divided == host))
            ++differsFromDivision;
    }
    EXPECT_GT(differsFromDivision, 0) << "the test does not tell multiplication from division";
}
