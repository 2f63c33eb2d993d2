// The shader and the host-free tone model shade the same tone, to the last bit,
// for one light with one sample and every term the shader lacks switched off.
#include "parityCases.h"
#include "toneModel.h"

#include <gtest/gtest.h>

TEST(Parity, ShaderAndToneModelGiveTheSameToneColourBitForBit)
{
    const std::vector<RandomCase> cases = randomCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const RandomCase& k = cases[i];
        tone::ToneInputs in{};
        in.normal = {k.n.x, k.n.y, k.n.z};
        in.view = {0.0f, 0.0f, -1.0f};
        in.colour = {k.c[0], k.c[1], k.c[2]};
        in.diffuse = k.diffuse;
        in.alpha = k.alpha;
        in.beta = k.beta;
        in.blue = k.blue;
        in.yellow = k.yellow;
        in.eccentricity = 0.3f;
        in.outlineColour = {1.0f, 1.0f, 1.0f};
        tone::LightElement light{};
        light.intensity = {1.0f, 1.0f, 1.0f};
        light.direction = {k.l.x, k.l.y, k.l.z};
        light.preShadowIntensity = 1.0f;
        light.diffuse = true;
        const tone::Triple viaModel = tone::toneShade(in, &light, 1);
        const miColor viaShader = shadeCase(k);
        ASSERT_TRUE(sameColour(viaShader, viaModel.x, viaModel.y, viaModel.z)) << "case " << i;
    }
}
