// The zarn_coolwarm shader through the stand-in renderer: its declaration, its
// shading, and what it leaves of the renderer's state.
#include "shaderFixture.h"
#include "zarn_coolwarm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <thread>

namespace {

// Sums and means of a few single-precision products.
constexpr float kTol = 1e-6f;
constexpr float kPi = 3.1415927f;

void expectRgba(const miColor& c, float r, float g, float b, float a, float tol = kTol)
{
    EXPECT_NEAR(c.r, r, tol);
    EXPECT_NEAR(c.g, g, tol);
    EXPECT_NEAR(c.b, b, tol);
    EXPECT_EQ(c.a, a);
}

// The worked example: cool colour (0.2, 0.1, 0.4), warm colour (1.0, 0.7, 0.0).
ShaderScene worked()
{
    ShaderScene s;
    s.values["color"] = {1.0, 0.5, 0.0};
    s.values["alpha"] = {0.2};
    s.values["beta"] = {0.6};
    s.values["blue"] = {0.4};
    s.values["yellow"] = {0.4};
    s.values["diffuse"] = {0.8};
    s.values["specularColor"] = {0.0, 0.0, 0.0};
    return s;
}

class Shader : public testing::Test {
protected:
    void SetUp() override
    {
        ShaderLibrary::get();
        mrhost::clearScene();
        mrhost::resetCallCounts();
        mrhost::setIrradiance(miColor{0.0f, 0.0f, 0.0f, 1.0f});
    }
};

}  // namespace

TEST_F(Shader, DeclarationLayoutIsTheParameterBlock)
{
    const mrhost::Declaration& d = ShaderLibrary::get().declaration;
    EXPECT_EQ(d.name, "zarn_coolwarm");
    EXPECT_EQ(d.returnType, "color");
    EXPECT_EQ(d.version, ShaderLibrary::get().version());
    EXPECT_THAT(d.apply, testing::ElementsAre("material"));
    struct Field { const char* name; const char* type; std::size_t offset; };
    const Field fields[] = {
        {"color", "color", offsetof(struct zarn_coolwarm, color)},
        {"ambientColor", "color", offsetof(struct zarn_coolwarm, ambientColor)},
        {"incandescence", "color", offsetof(struct zarn_coolwarm, incandescence)},
        {"normalCamera", "vector", offsetof(struct zarn_coolwarm, normalCamera)},
        {"diffuse", "scalar", offsetof(struct zarn_coolwarm, diffuse)},
        {"alpha", "scalar", offsetof(struct zarn_coolwarm, alpha)},
        {"beta", "scalar", offsetof(struct zarn_coolwarm, beta)},
        {"blue", "scalar", offsetof(struct zarn_coolwarm, blue)},
        {"yellow", "scalar", offsetof(struct zarn_coolwarm, yellow)},
        {"eccentricity", "scalar", offsetof(struct zarn_coolwarm, eccentricity)},
        {"specularRollOff", "scalar", offsetof(struct zarn_coolwarm, specularRollOff)},
        {"specularColor", "color", offsetof(struct zarn_coolwarm, specularColor)},
        {"computeIrradiance", "boolean", offsetof(struct zarn_coolwarm, computeIrradiance)},
        {"irradianceColor", "color", offsetof(struct zarn_coolwarm, irradianceColor)},
        {"light", "light", offsetof(struct zarn_coolwarm, i_light)},
    };
    ASSERT_EQ(d.parameters.size(), 15u);
    for (std::size_t i = 0; i < d.parameters.size(); ++i) {
        EXPECT_EQ(d.parameters[i].name, fields[i].name);
        EXPECT_EQ(d.parameters[i].type, fields[i].type) << fields[i].name;
        EXPECT_EQ(d.parameters[i].offset, fields[i].offset) << fields[i].name;
    }
    EXPECT_TRUE(d.parameters[14].array);
    EXPECT_EQ(d.parameters[14].elementOffset(), offsetof(struct zarn_coolwarm, light));
    EXPECT_EQ(d.blockSize, sizeof(struct zarn_coolwarm));
    // The node's defaults for the shared names, an inert irradiance term.
    EXPECT_THAT(d.find("beta")->defaults, testing::ElementsAre(testing::DoubleEq(0.37)));
    EXPECT_THAT(d.find("computeIrradiance")->defaults, testing::ElementsAre(0.0));
    EXPECT_EQ(d.find("diffuse")->hints.at("softmax"), 1.0);
}

TEST_F(Shader, WorkedValuesAveragePerLight)
{
    struct Case { std::vector<float> cosines; float r, g, b; };
    const Case cases[] = {{{1.0f, 1.0f, 1.0f}, 0.16f, 0.08f, 0.32f},
                          {{0.0f, 0.0f}, 0.48f, 0.32f, 0.16f},
                          {{-1.0f}, 0.8f, 0.56f, 0.0f},
                          {{1.0f, -1.0f}, 0.48f, 0.32f, 0.16f},
                          // Four samples add their mean, not their sum.
                          {{1.0f, 0.0f, 0.0f, -1.0f}, 0.48f, 0.32f, 0.16f}};
    for (const Case& c : cases) {
        ShaderScene s = worked();
        s.lights = {listedLight(c.cosines)};
        expectRgba(shadeScene(s), c.r, c.g, c.b, 1.0f);
    }
}

TEST_F(Shader, NoLightsLeaveAmbientColourAndIncandescence)
{
    ShaderScene s = worked();
    s.values["ambientColor"] = {0.5, 0.5, 0.5};
    s.values["incandescence"] = {0.0, 0.1, 0.2};
    expectRgba(shadeScene(s), 0.5f, 0.35f, 0.2f, 1.0f);
    EXPECT_EQ(mrhost::callCounts().sampleLight, 0u);
}

TEST_F(Shader, TwoLightsAddTheirContributions)
{
    ShaderScene s = worked();
    s.lights = {listedLight({1.0f}), listedLight({-1.0f, -1.0f})};
    expectRgba(shadeScene(s), 0.96f, 0.64f, 0.32f, 1.0f);
}

TEST_F(Shader, LightIndexAndCountSelectTheTagsInUse)
{
    ShaderScene s = worked();
    const miTag facing = listedLight({1.0f});
    const miTag away = listedLight({-1.0f});
    std::unique_ptr<mrhost::ShaderCall> call = s.build();
    // Room for six tags from the element field on: only 2, 3 and 4 are in use.
    mrhost::ShaderCall wide(offsetof(struct zarn_coolwarm, light) + 6 * sizeof(miTag));
    std::memcpy(wide.parameters(), call->parameters(), offsetof(struct zarn_coolwarm, i_light));
    const int index = 2, count = 3;
    const miTag tags[6] = {away, away, facing, facing, away, away};
    std::memcpy(wide.parameters() + offsetof(struct zarn_coolwarm, i_light), &index, sizeof index);
    std::memcpy(wide.parameters() + offsetof(struct zarn_coolwarm, n_light), &count, sizeof count);
    std::memcpy(wide.parameters() + offsetof(struct zarn_coolwarm, light), tags, sizeof tags);
    wide.state().normal = {0.0f, 0.0f, 1.0f};
    wide.state().dir = {0.0f, 0.0f, -1.0f};
    // Two facing lights and one turned away.
    expectRgba(shadeCall(wide), 0.16f * 2 + 0.8f, 0.08f * 2 + 0.56f, 0.32f * 2, 1.0f);
}

TEST_F(Shader, NormalCameraOffsetsTheRenderersNormal)
{
    ShaderScene s = worked();
    s.normal = {0.0f, 0.0f, 2.0f};  // normalised by the shader
    s.lights = {listedLight({1.0f})};
    expectRgba(shadeScene(s), 0.16f, 0.08f, 0.32f, 1.0f);

    // The exact negative leaves no normal: every sample weighs the two colours evenly.
    s.values["normalCamera"] = {0.0, 0.0, -2.0};
    s.lights = {listedLight({1.0f, -1.0f, 0.3f})};
    expectRgba(shadeScene(s), 0.48f, 0.32f, 0.16f, 1.0f);

    // normalCamera tilts the normal towards a light that was edge-on.
    s.normal = {0.0f, 0.0f, 1.0f};
    s.values["normalCamera"] = {1.0, 0.0, -1.0};
    s.lights = {listedLight({0.0f})};  // arrives along +x
    expectRgba(shadeScene(s), 0.16f, 0.08f, 0.32f, 1.0f);
}

TEST_F(Shader, IrradianceTermAndItsSwitches)
{
    ShaderScene s = worked();
    s.values["diffuse"] = {0.0};
    mrhost::setIrradiance(miColor{1.0f, 1.0f, 1.0f, 1.0f});
    s.values["computeIrradiance"] = {1.0};
    s.values["irradianceColor"] = {1.0, 1.0, 1.0};
    expectRgba(shadeScene(s), 0.31831f, 0.159155f, 0.0f, 1.0f);
    EXPECT_EQ(mrhost::callCounts().computeIrradiance, 1u);

    // Black switches it off before the query; any other colour, negative too, keeps it.
    s.values["irradianceColor"] = {0.0, 0.0, 0.0, 0.5};
    expectRgba(shadeScene(s), 0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(mrhost::callCounts().computeIrradiance, 1u);
    s.values["color"] = {1.0, 0.5, 0.25};
    s.values["irradianceColor"] = {0.0, 0.0, -1.0};
    expectRgba(shadeScene(s), 0.0f, 0.0f, -0.25f / kPi, 1.0f);
    EXPECT_EQ(mrhost::callCounts().computeIrradiance, 2u);

    s.values["computeIrradiance"] = {0.0};
    s.values["irradianceColor"] = {1.0, 1.0, 1.0};
    expectRgba(shadeScene(s), 0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(mrhost::callCounts().computeIrradiance, 2u);
}

TEST_F(Shader, HighlightCountsOnlyWhenPositive)
{
    ShaderScene s = worked();
    s.values["specularColor"] = {1.0, 1.0, 1.0};
    s.values["specularRollOff"] = {0.5};
    s.values["eccentricity"] = {2.0};
    // Straight behind: the half vector vanishes, no highlight, the warm colour alone.
    s.lights = {listedLight({-1.0f})};
    expectRgba(shadeScene(s), 0.8f, 0.56f, 0.0f, 1.0f);
    EXPECT_EQ(mrhost::callCounts().blongSpecular, 1u);
    // Straight ahead: factor 1, times roll-off, light and specular colour.
    s.lights = {listedLight({1.0f}, miColor{2.0f, 1.0f, 0.5f, 1.0f})};
    expectRgba(shadeScene(s), 0.16f + 1.0f, 0.08f + 0.5f, 0.32f + 0.25f, 1.0f);
}

TEST_F(Shader, AddsToTheIncomingResult)
{
    ShaderScene s = worked();
    s.lights = {listedLight({1.0f})};
    expectRgba(shadeScene(s, miColor{0.1f, 0.2f, 0.3f, 0.5f}), 0.26f, 0.28f, 0.62f, 1.0f);
}

TEST_F(Shader, GhostOffsetZeroNeverAsksForAConnection)
{
    ShaderScene s = worked();
    std::unique_ptr<mrhost::ShaderCall> call = s.build();
    const float red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
    const miTag connection = mrhost::addConnection(red, sizeof red);
    for (const mrhost::Parameter& p : ShaderLibrary::get().declaration.parameters)
        call->connect(p.offset, connection);
    call->enableGhosts(false);
    shadeCall(*call);
    EXPECT_EQ(mrhost::callCounts().phenEval, 0u);
    EXPECT_EQ(mrhost::connectionEvaluations(connection), 0u);
}

TEST_F(Shader, AConnectedParameterIsReadFromItsConnectionAlone)
{
    ShaderScene s = worked();
    s.values["incandescence"] = {0.9, 0.9, 0.9};
    std::unique_ptr<mrhost::ShaderCall> call = s.build();
    const float glow[4] = {0.1f, 0.2f, 0.3f, 1.0f};
    const miTag connection = mrhost::addConnection(glow, sizeof glow);
    const std::size_t offset = ShaderLibrary::get().declaration.find("incandescence")->offset;
    call->connect(offset, connection);
    expectRgba(shadeCall(*call), 0.1f, 0.2f, 0.3f, 1.0f);
    EXPECT_EQ(mrhost::callCounts().phenEval, 1u);
    EXPECT_EQ(mrhost::connectionEvaluations(connection), 1u);
    EXPECT_EQ(mrhost::connectionLastOffset(connection), static_cast<long>(offset));
}

TEST_F(Shader, IrradianceColourIsNotEvaluatedWhileTheTermIsOff)
{
    ShaderScene s = worked();
    std::unique_ptr<mrhost::ShaderCall> call = s.build();
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const miTag connection = mrhost::addConnection(white, sizeof white);
    call->connect(ShaderLibrary::get().declaration.find("irradianceColor")->offset, connection);
    shadeCall(*call);
    EXPECT_EQ(mrhost::connectionEvaluations(connection), 0u);
    const int on = miTRUE;
    std::memcpy(call->parameters() + offsetof(struct zarn_coolwarm, computeIrradiance), &on, sizeof on);
    shadeCall(*call);
    EXPECT_EQ(mrhost::connectionEvaluations(connection), 1u);
}

TEST_F(Shader, TheWarmSideNeedsPriClearedAndTheStateComesBackAsItWas)
{
    ShaderScene s = worked();
    int primitive = 0;
    s.pri = &primitive;
    s.normal = {0.0f, 0.0f, 1.0f};
    // With pri set the renderer would hide a light behind the surface...
    const miTag behind = listedLight({-1.0f});
    std::unique_ptr<mrhost::ShaderCall> call = s.build();
    miColor colour;
    miVector dir;
    float cosine;
    int samples = 0;
    EXPECT_EQ(mi_sample_light(&colour, &dir, &cosine, &call->state(), behind, &samples), miFALSE);
    EXPECT_EQ(samples, 0);
    // ...but the shader clears it for its light loop, so the warm colour shows.
    s.lights = {behind};
    call = s.build();
    const miState before = call->state();
    expectRgba(shadeCall(*call), 0.8f, 0.56f, 0.0f, 1.0f);
    EXPECT_EQ(std::memcmp(&before, &call->state(), sizeof before), 0) << "state changed";
    EXPECT_EQ(call->state().pri, &primitive);
}

TEST_F(Shader, ThreadsWithTheirOwnStatesAgreeWithOneThread)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<miTag> lights;
    for (int i = 0; i < 3; ++i)
        lights.push_back(listedLight({u(rng), u(rng), u(rng)}));
    mrhost::Light area;
    area.kind = mrhost::Light::Area;
    area.position = {0.0f, 3.0f, 3.0f};
    area.samples = 9;
    lights.push_back(mrhost::addLight(area));
    std::vector<ShaderScene> scenes;
    for (int i = 0; i < 200; ++i) {
        ShaderScene s = worked();
        s.values["specularColor"] = {0.5, 0.5, 0.5};
        s.lights = lights;
        s.normal = {u(rng), u(rng), u(rng)};
        s.values["normalCamera"] = {u(rng) * 0.2, 0.0, 0.0};
        scenes.push_back(s);
    }
    std::vector<std::unique_ptr<mrhost::ShaderCall>> calls;
    std::vector<miColor> expected;
    for (const ShaderScene& s : scenes) {
        calls.push_back(s.build());
        expected.push_back(shadeCall(*calls.back()));
    }
    // One call record per thread and scene: threads never share a state.
    const int kThreads = 4;
    std::vector<std::vector<std::unique_ptr<mrhost::ShaderCall>>> own(kThreads);
    for (int t = 0; t < kThreads; ++t)
        for (const ShaderScene& s : scenes)
            own[t].push_back(s.build());
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round)
                for (std::size_t i = 0; i < scenes.size(); ++i) {
                    const miColor c = shadeCall(*own[t][i]);
                    if (std::memcmp(&c, &expected[i], sizeof c) != 0)
                        ++mismatches[t];
                }
        });
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}
