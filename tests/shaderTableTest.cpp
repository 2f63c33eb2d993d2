// zarn_coolwarm on a fixed table of shader calls, bit for bit the same on
// every target: the Linux library, and the 32-bit Windows one under Wine.
// Every term takes part: several lights with several samples each, highlight,
// irradiance, normalCamera offsets (a zero-length sum among them), a result
// arriving with colour in it.
//
// The renderer stand-in's mi_blong_specular raises its cosine to the exponent
// with the C runtime's powf, whose last bit differs between runtimes; the
// eccentricity is 1 throughout, a power every runtime computes exactly.
#include "bitTable.h"
#include "portableRandom.h"
#include "shaderFixture.h"

#include <gtest/gtest.h>

namespace {

constexpr int kCases = 1500;

std::vector<double> values(const tone::Triple& v) { return {v.x, v.y, v.z}; }
miVector vector(const tone::Triple& v) { return miVector{v.x, v.y, v.z}; }

miTag tableLight(PortableRandom& random)
{
    mrhost::Light light;
    light.kind = mrhost::Light::Listed;
    const int samples = 1 + random.below(4);
    for (int i = 0; i < samples; ++i) {
        const tone::Triple c = random.triple(0.0f, 2.0f);
        light.listed.push_back({miColor{c.x, c.y, c.z, 1.0f}, vector(random.triple(-1.0f, 1.0f))});
    }
    return mrhost::addLight(light);
}

miColor tableCall(PortableRandom& random)
{
    mrhost::clearScene();
    ShaderScene s;
    s.normal = vector(random.exactUnit());
    s.dir = vector(random.exactUnit());
    s.values["color"] = values(random.triple(0.0f, 1.0f));
    s.values["ambientColor"] = values(random.triple(0.0f, 0.5f));
    s.values["incandescence"] = values(random.triple(0.0f, 0.5f));
    if (random.oneIn(50))
        s.values["normalCamera"] = {-s.normal.x, -s.normal.y, -s.normal.z};
    else if (random.oneIn(2))
        s.values["normalCamera"] = values(random.triple(-0.5f, 0.5f));
    s.values["diffuse"] = {random.range(0.0f, 1.5f)};
    s.values["alpha"] = {random.unit()};
    s.values["beta"] = {random.unit()};
    s.values["blue"] = {random.unit()};
    s.values["yellow"] = {random.unit()};
    s.values["eccentricity"] = {1.0};
    s.values["specularRollOff"] = {random.unit()};
    s.values["specularColor"] = values(random.triple(0.0f, 1.0f));
    if (random.oneIn(2)) {
        s.values["computeIrradiance"] = {1.0};
        s.values["irradianceColor"] = random.oneIn(4) ? std::vector<double>{0.0, 0.0, 0.0}
                                                      : values(random.triple(-0.25f, 1.0f));
        const tone::Triple irradiance = random.triple(0.0f, 2.0f);
        mrhost::setIrradiance(miColor{irradiance.x, irradiance.y, irradiance.z, 1.0f});
    }
    const int lights = random.below(4);
    for (int i = 0; i < lights; ++i)
        s.lights.push_back(tableLight(random));
    miColor incoming{0.0f, 0.0f, 0.0f, 0.0f};
    if (random.oneIn(3)) {
        const tone::Triple c = random.triple(0.0f, 1.0f);
        incoming = miColor{c.x, c.y, c.z, random.unit()};
    }
    return shadeScene(s, incoming);
}

}  // namespace

TEST(CrossTarget, ShaderCallsMatchTheTableBitForBit)
{
    PortableRandom random(0x7a61726e);
    std::vector<std::string> lines;
    for (int i = 0; i < kCases; ++i) {
        const miColor c = tableCall(random);
        lines.push_back(bitLine({c.r, c.g, c.b, c.a}));
    }
    expectTable("shaderCalls.txt", "result of zarn_coolwarm (r g b a as float bits), one call a line", lines);
}
