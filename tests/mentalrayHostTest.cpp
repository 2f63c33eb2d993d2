// The stand-in renderer where its behaviour is subtle, and the declaration reader.
#include "declaration.h"
#include "mrHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

miTag listed(const std::vector<miVector>& directions)
{
    mrhost::Light light;
    light.kind = mrhost::Light::Listed;
    for (const miVector& d : directions)
        light.listed.push_back({miColor{1.0f, 1.0f, 1.0f, 1.0f}, d});
    return mrhost::addLight(light);
}

int countSamples(miState& state, miTag light)
{
    miColor colour;
    miVector dir;
    float cosine;
    int samples = 0, calls = 0;
    while (mi_sample_light(&colour, &dir, &cosine, &state, light, &samples))
        EXPECT_EQ(samples, ++calls);
    return samples;
}

// Each text is refused with exactly its message.
struct RefusedCase {
    const char* text;
    const char* message;
};
template <std::size_t N>
void expectRefused(const RefusedCase (&cases)[N])
{
    for (const RefusedCase& c : cases) {
        try {
            mrhost::parseDeclarations(c.text, "x.mi");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const mrhost::DeclarationError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

}  // namespace

TEST(MentalRayStandin, SampleCounterAndTheBackFaceRule)
{
    mrhost::clearScene();
    const miTag light = listed({{0.0f, 0.0f, 1.0f}, {0.0f, 0.0f, -1.0f}, {0.0f, 1.0f, 0.0f}, {0.6f, 0.0f, 0.8f}});
    mrhost::ShaderCall call(16);
    miState& state = call.state();
    state.normal = {0.0f, 0.0f, 1.0f};
    // Without a primitive every sample comes, whatever its side.
    EXPECT_EQ(countSamples(state, light), 4);
    // While shading a primitive only those above the surface come.
    int primitive;
    state.pri = &primitive;
    EXPECT_EQ(countSamples(state, light), 2);
    EXPECT_EQ(countSamples(state, 9999), 0) << "an unknown tag has no samples";
}

TEST(MentalRayStandin, AreaLightSamplesAreStratifiedAndRepeatable)
{
    mrhost::clearScene();
    mrhost::Light area;
    area.kind = mrhost::Light::Area;
    area.position = {0.0f, 0.0f, 5.0f};
    area.edgeU = {2.0f, 0.0f, 0.0f};
    area.edgeV = {0.0f, 2.0f, 0.0f};
    area.samples = 16;
    const miVector at{0.0f, 0.0f, 0.0f};
    int left = 0;
    for (int i = 0; i < 16; ++i) {
        const mrhost::LightSampleGeometry a = mrhost::lightSample(area, i, at);
        const mrhost::LightSampleGeometry b = mrhost::lightSample(area, i, at);
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
        EXPECT_NEAR(a.direction.x * a.direction.x + a.direction.y * a.direction.y + a.direction.z * a.direction.z,
                    1.0f, 1e-6f);
        left += a.direction.x < 0.0f;
    }
    EXPECT_EQ(left, 8) << "one sample per cell of a 4 x 4 grid";
}

// What a light's samples are, worked out here from the light's definition:
// the renderer prepares most of this when the light is added.
TEST(MentalRayStandin, DeliveredSamplesFollowTheLightAtEveryPoint)
{
    auto unit = [](miVector v) {
        const float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        return miVector{v.x / l, v.y / l, v.z / l};
    };
    mrhost::clearScene();
    std::vector<mrhost::Light> lights(4);
    lights[0].kind = mrhost::Light::Point;
    lights[0].position = {1.0f, 2.0f, 3.0f};
    lights[0].colour = {0.5f, 0.25f, 1.0f, 1.0f};
    lights[0].intensity = 1.5f;
    lights[1].kind = mrhost::Light::Directional;
    lights[1].direction = {0.0f, -2.0f, -1.0f};
    lights[2].kind = mrhost::Light::Area;
    lights[2].position = {0.0f, 4.0f, 0.0f};
    lights[2].edgeU = {1.0f, 0.0f, 0.0f};
    lights[2].edgeV = {0.0f, 0.0f, 2.0f};
    lights[2].samples = 5;
    lights[3].kind = mrhost::Light::Listed;
    lights[3].listed = {{miColor{0.1f, 0.2f, 0.3f, 1.0f}, miVector{0.0f, 3.0f, 4.0f}},
                        {miColor{0.4f, 0.5f, 0.6f, 1.0f}, miVector{2.0f, 0.0f, 0.0f}}};
    std::vector<miTag> tags;
    for (const mrhost::Light& light : lights)
        tags.push_back(mrhost::addLight(light));
    mrhost::ShaderCall call(16);
    miState& state = call.state();
    state.normal = unit({0.2f, 1.0f, 0.1f});
    const int expectedCounts[4] = {1, 1, 5, 2};
    for (const miVector at : {miVector{0.0f, 0.0f, 0.0f}, miVector{-0.5f, 0.25f, 2.0f}}) {
        state.point = at;
        for (std::size_t l = 0; l < lights.size(); ++l) {
            const mrhost::Light& light = lights[l];
            int samples = 0;
            miColor colour;
            miVector dir;
            float cosine;
            while (mi_sample_light(&colour, &dir, &cosine, &state, tags[l], &samples)) {
                const int i = samples - 1;
                miColor c{light.colour.r * light.intensity, light.colour.g * light.intensity,
                          light.colour.b * light.intensity, light.colour.a};
                miVector d;
                if (light.kind == mrhost::Light::Point) {
                    d = unit({light.position.x - at.x, light.position.y - at.y, light.position.z - at.z});
                } else if (light.kind == mrhost::Light::Directional) {
                    d = unit({-light.direction.x, -light.direction.y, -light.direction.z});
                } else if (light.kind == mrhost::Light::Area) {
                    float s, t;
                    mrhost::areaSampleOffset(light, i, &s, &t);
                    d = unit({light.position.x + s * light.edgeU.x + t * light.edgeV.x - at.x,
                              light.position.y + s * light.edgeU.y + t * light.edgeV.y - at.y,
                              light.position.z + s * light.edgeU.z + t * light.edgeV.z - at.z});
                } else {
                    c = light.listed[i].colour;
                    d = unit(light.listed[i].direction);
                }
                SCOPED_TRACE("light " + std::to_string(l) + " sample " + std::to_string(i));
                EXPECT_FLOAT_EQ(colour.r, c.r);
                EXPECT_FLOAT_EQ(colour.g, c.g);
                EXPECT_FLOAT_EQ(colour.b, c.b);
                EXPECT_NEAR(dir.x, d.x, 1e-6f);
                EXPECT_NEAR(dir.y, d.y, 1e-6f);
                EXPECT_NEAR(dir.z, d.z, 1e-6f);
                EXPECT_FLOAT_EQ(cosine, state.normal.x * dir.x + state.normal.y * dir.y + state.normal.z * dir.z);
                const mrhost::LightSampleGeometry g = mrhost::lightSample(light, i, at);
                EXPECT_EQ(std::memcmp(&g.direction, &dir, sizeof dir), 0) << "lightSample agrees bit for bit";
                EXPECT_EQ(std::memcmp(&g.colour, &colour, sizeof colour), 0);
                // Asked for the direction alone, the renderer delivers the same sample.
                int again = i;
                miVector alone;
                EXPECT_TRUE(mi_sample_light(nullptr, &alone, nullptr, &state, tags[l], &again));
                EXPECT_EQ(again, samples);
                EXPECT_EQ(std::memcmp(&alone, &dir, sizeof dir), 0);
            }
            EXPECT_EQ(samples, expectedCounts[l]) << "light " << l;
        }
    }
}

TEST(MentalRayStandin, OcclusionDarkensDeliveredSamples)
{
    mrhost::clearScene();
    mrhost::Light point;
    point.position = {0.0f, 0.0f, 4.0f};
    point.intensity = 2.0f;
    const miTag tag = mrhost::addLight(point);
    mrhost::setOcclusion([](void*, const miState*, const miVector*, float distance) { return distance > 3.0f ? 0.25f : 1.0f; },
                         nullptr);
    mrhost::ShaderCall call(16);
    miColor colour;
    miVector dir;
    float cosine;
    int samples = 0;
    ASSERT_TRUE(mi_sample_light(&colour, &dir, &cosine, &call.state(), tag, &samples));
    mrhost::setOcclusion(nullptr, nullptr);
    EXPECT_FLOAT_EQ(colour.r, 0.5f);
    EXPECT_FLOAT_EQ(dir.z, 1.0f);
    EXPECT_FALSE(mi_sample_light(&colour, &dir, &cosine, &call.state(), tag, &samples));
    EXPECT_EQ(samples, 1);
}

TEST(MentalRayStandin, PhenEvalReturnsTheConnectedValue)
{
    mrhost::clearScene();
    const float value[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    const miTag tag = mrhost::addConnection(value, sizeof value);
    mrhost::ShaderCall call(64);
    call.connect(16, tag);
    void* parameter = call.parameters() + 16;
    const float* got = static_cast<const float*>(mi_phen_eval(&call.state(), parameter));
    EXPECT_NE(static_cast<const void*>(got), parameter);
    EXPECT_EQ(got[2], 0.75f);
    EXPECT_EQ(mrhost::connectionEvaluations(tag), 1u);
    EXPECT_EQ(mrhost::connectionLastOffset(tag), 16);
    // An unconnected parameter, or an address outside the block, is its own value.
    EXPECT_EQ(mi_phen_eval(&call.state(), call.parameters() + 32), call.parameters() + 32);
    float outside;
    EXPECT_EQ(mi_phen_eval(&call.state(), &outside), &outside);
}

// A shader library reads the call record by byte offset, as the renderer lays
// it out: the ghost offset at 96, the block at 120, each ghost tag that far
// behind its parameter, and the state's shader and normal where the real state
// has them on this target.
TEST(MentalRayStandin, CallRecordHasTheRenderersByteLayout)
{
    mrhost::ShaderCall call(40);
    const char* record = reinterpret_cast<const char*>(&call.function());
    EXPECT_EQ(call.parameters(), record + 120);
    int ghost = 0;
    std::memcpy(&ghost, record + 96, sizeof ghost);
    EXPECT_EQ(ghost, 40);
    call.connect(12, 0x5eed);
    miTag tag = 0;
    std::memcpy(&tag, call.parameters() + 12 + ghost, sizeof tag);
    EXPECT_EQ(tag, 0x5eedu);

    const bool wide = sizeof(void*) == 8;
    const char* state = reinterpret_cast<const char*>(&call.state());
    const miFunction* shader = nullptr;
    std::memcpy(&shader, state + (wide ? 312 : 256), sizeof shader);
    EXPECT_EQ(shader, &call.function());
    call.state().normal = {0.0f, 0.0f, 1.0f};
    float normalZ = 0.0f;
    std::memcpy(&normalZ, state + (wide ? 208 : 180) + 8, sizeof normalZ);
    EXPECT_EQ(normalZ, 1.0f);
    EXPECT_EQ(sizeof(miState), wide ? 352u : 280u);
}

TEST(Declarations, ErrorsNameTheFileAndLine)
{
    const RefusedCase cases[] = {
        {"declare shader\n color \"s\" (\n  colour \"c\"\n )\nend declare\n", "x.mi:3: unknown parameter type 'colour'"},
        {"declare shader color \"s\" (\n scalar \"a\" default 1 2\n) end declare", "x.mi:2: parameter \"a\" of type scalar takes 1 default values, got 2"},
        {"declare shader color \"s\" (scalar \"a\",\n scalar \"a\") end declare", "x.mi:2: parameter \"a\" is declared twice"},
        {"declare shader color \"s\" (scalar \"a\")\n version 1\n", "x.mi:3: expected 'end', found the end of the file"},
        {"link \"x.so\"", "x.mi:1: expected 'declare', found 'link'"},
        {"declare shader color \"s (\n", "x.mi:1: unterminated string"},
    };
    expectRefused(cases);
    EXPECT_THROW(mrhost::readDeclarations("/nonexistent/x.mi"), mrhost::DeclarationError);
}

TEST(Declarations, LayoutFollowsCRulesAndArraysGoAfterTheBlock)
{
    const auto d = mrhost::parseDeclarations(
        "# comment\ndeclare shader \"s\" (boolean \"on\" default on, vector \"v\",\n"
        " array light \"lights\", color \"c\" default 1 0 0, #: min 0 max 1\n integer \"i\" default 7)\n"
        " version 3 apply material, shadow\n #: nodeid 1234\nend declare\n",
        "y.mi");
    ASSERT_EQ(d.size(), 1u);
    const mrhost::Declaration& s = d[0];
    EXPECT_EQ(s.returnType, "color");
    EXPECT_EQ(s.version, 3);
    EXPECT_THAT(s.apply, testing::ElementsAre("material", "shadow"));
    EXPECT_EQ(s.find("v")->offset, 4u);
    EXPECT_EQ(s.find("lights")->offset, 16u);
    EXPECT_EQ(s.find("lights")->elementOffset(), 24u);
    EXPECT_EQ(s.find("c")->offset, 28u);
    EXPECT_EQ(s.find("c")->hints.at("max"), 1.0);
    EXPECT_EQ(s.hints.at("nodeid"), 1234.0);
    EXPECT_EQ(s.blockSize, 48u);

    mrhost::BlockBuilder builder(s);
    builder.setArray("lights", {5, 6});
    builder.set("v", {1.0, 2.0, 3.0});
    EXPECT_EQ(builder.bytes(), 56u);
    std::vector<char> block(builder.bytes());
    builder.write(block.data());
    int on, index, count, integer;
    miTag tags[2];
    float c[4];
    std::memcpy(&on, &block[0], 4);
    std::memcpy(&index, &block[16], 4);
    std::memcpy(&count, &block[20], 4);
    std::memcpy(tags, &block[24 + 4 * index], 8);
    std::memcpy(c, &block[28], 16);
    std::memcpy(&integer, &block[44], 4);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(24 + 4 * index, 48) << "elements start right after the block";
    EXPECT_EQ(tags[1], 6u);
    EXPECT_EQ(c[3], 1.0f) << "a colour default of three numbers has alpha 1";
    EXPECT_EQ(integer, 7);
    EXPECT_THROW(builder.set("c", {1.0, 2.0}), mrhost::DeclarationError);
    EXPECT_THROW(builder.set("nope", {1.0}), mrhost::DeclarationError);
    EXPECT_THROW(builder.set("lights", {1.0}), mrhost::DeclarationError);
}

// Every number that reaches a block must fit its field: an out-of-range
// integer or a float beyond single precision would otherwise be an undefined
// conversion.
TEST(Declarations, NumbersThatDoNotFitTheirTypeAreRefused)
{
    const RefusedCase cases[] = {
        {"declare shader \"s\" (integer \"i\" default 6.6e42) end declare",
         "x.mi:1: default 6.6e42 of parameter \"i\" is not a whole number from -2147483648 to 2147483647"},
        {"declare shader \"s\" (integer \"i\" default 2.5) end declare",
         "x.mi:1: default 2.5 of parameter \"i\" is not a whole number from -2147483648 to 2147483647"},
        {"declare shader \"s\" (boolean \"b\" default 1,\n scalar \"f\" default 1e39) end declare",
         "x.mi:2: default 1e39 of parameter \"f\" is not a finite single-precision number (largest magnitude "
         "3.40282347e+38)"},
        {"declare shader \"s\" (color \"c\" default 1 -inf 0) end declare",
         "x.mi:1: default -inf of parameter \"c\" is not a finite single-precision number (largest magnitude "
         "3.40282347e+38)"},
        {"declare shader \"s\" (scalar \"f\") version 99999999999 end declare",
         "x.mi:1: version 99999999999 is not a whole number from -2147483648 to 2147483647"},
    };
    expectRefused(cases);

    const auto d = mrhost::parseDeclarations(
        "declare shader \"s\" (boolean \"b\", integer \"i\", scalar \"f\", vector \"v\") end declare", "x.mi");
    mrhost::BlockBuilder builder(d[0]);
    EXPECT_THROW(builder.set("b", {1e39}), mrhost::DeclarationError);
    EXPECT_THROW(builder.set("i", {3e9}), mrhost::DeclarationError);
    EXPECT_THROW(builder.set("i", {0.5}), mrhost::DeclarationError);
    EXPECT_THROW(builder.set("f", {1e39}), mrhost::DeclarationError);
    EXPECT_THROW(builder.set("v", {0.0, std::nan(""), 0.0}), mrhost::DeclarationError);
    builder.set("i", {-2147483648.0});
    builder.set("f", {-3.4e38});
    std::vector<char> block(builder.bytes());
    builder.write(block.data());
    int i;
    std::memcpy(&i, &block[4], 4);
    EXPECT_EQ(i, -2147483647 - 1);
}

// Found by fuzzing: a shader without parameters has an empty block, which a
// host may hand over as a null pointer; nothing may be written through it.
TEST(Declarations, AShaderWithoutParametersWritesNoBlock)
{
    const auto d = mrhost::parseDeclarations("declare shader \"b\" () apply texture end declare", "x.mi");
    ASSERT_EQ(d.size(), 1u);
    const mrhost::BlockBuilder builder(d[0]);
    EXPECT_EQ(builder.bytes(), 0u);
    std::vector<char> block;
    builder.write(block.data());
}
