// The coolwarm node's compute on a fixed table of samples, bit for bit the
// same on every target: the Linux plug-in, and the 64-bit Windows one under
// Wine. Every term of the model takes part: several lights with each switch,
// transparency, translucence, outline, normals of any length.
//
// The highlight's exponent 6 / eccentricity is 1 throughout (eccentricity 6):
// the highlight raises its cosine to that power with the C runtime's powf, and
// runtimes differ there in the last bit (glibc's and MinGW-w64's disagree for
// about 1 in 1300 arguments); to the first power every runtime returns the
// cosine itself, so the table checks this plug-in's own arithmetic.
#include "bitTable.h"
#include "nodeSample.h"
#include "pluginFixture.h"
#include "portableRandom.h"

#include <gtest/gtest.h>

namespace {

constexpr int kCases = 1500;

Sample tableSample(PortableRandom& random)
{
    Sample s;
    tone::ToneInputs& in = s.in;
    // A quarter of the normals are unit ones; the rest any length up to about 2.6.
    in.normal = random.oneIn(4) ? random.exactUnit() : random.triple(-1.5f, 1.5f);
    in.view = random.oneIn(4) ? random.exactUnit() : random.triple(-1.0f, 1.0f);
    in.colour = random.triple(0.0f, 1.0f);
    in.transparency = random.oneIn(2) ? tone::Triple{0.0f, 0.0f, 0.0f} : random.triple(0.0f, 1.0f);
    in.ambientColour = random.triple(0.0f, 0.5f);
    in.incandescence = random.triple(0.0f, 0.5f);
    in.diffuse = random.range(0.0f, 1.0f);
    in.translucence = random.oneIn(2) ? 0.0f : random.range(0.0f, 1.0f);
    in.alpha = random.unit();
    in.beta = random.unit();
    in.blue = random.unit();
    in.yellow = random.unit();
    in.specularColour = random.triple(0.0f, 1.0f);
    in.eccentricity = 6.0f;
    in.rollOff = random.unit();
    in.outlineWidth = random.unit();
    in.outlineColour = random.triple(0.0f, 1.0f);
    const int count = random.below(5);
    for (int i = 0; i < count; ++i) {
        tone::LightElement l;
        l.intensity = random.triple(0.0f, 2.0f);
        l.direction = random.oneIn(2) ? random.exactUnit() : random.triple(-1.0f, 1.0f);
        l.preShadowIntensity = random.unit();
        l.ambient = random.oneIn(2);
        l.diffuse = !random.oneIn(4);
        l.specular = !random.oneIn(3);
        s.lights.push_back(l);
    }
    return s;
}

}  // namespace

TEST(CrossTarget, NodeComputesMatchTheTableBitForBit)
{
    loadedPlugin();
    PortableRandom random(0x636f6f6c);
    std::vector<std::string> lines;
    for (int i = 0; i < kCases; ++i) {
        const Sample s = tableSample(random);
        mayahost::Node node("coolwarm");
        setInputs(node, s.in);
        mayahost::ShadingSampler sampler(node);
        const tone::Triple c = shadeThrough(sampler, s);
        lines.push_back(bitLine({c.x, c.y, c.z}));
    }
    expectTable("nodeComputes.txt", "outColor of the coolwarm node (R G B as float bits), one sample a line",
                lines);
}
