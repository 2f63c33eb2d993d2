// Random single-light cases for comparing the shader with the other two
// evaluations of the tone model, and the shader's colour for one of them.
#ifndef COOLWARM_TEST_PARITY_CASES_H
#define COOLWARM_TEST_PARITY_CASES_H

#include "bitTable.h"
#include "portableRandom.h"
#include "shaderFixture.h"

#include <vector>

// The three evaluations do the same operations in the same order: the tone
// weight from the same dot product, the cool and warm colours from the same
// terms, the tone colour times diffuse, plus terms that are exactly zero. The
// shader alone normalises the normal once more and divides by its sample
// count of 1, and the renderer normalises the light's direction: with unit
// vectors whose squared length is exactly 1 all three leave every bit as it is,
// so the results agree bit for bit. Beyond such cases they may not: a normal
// that is not exactly unit (the shader normalises it again), a light with
// several samples (the shader averages them), and the highlight, which is a
// different formula on each side.
struct RandomCase {
    float c[3], alpha, beta, blue, yellow, diffuse;
    miVector n, l;
};

inline std::vector<RandomCase> randomCases()
{
    PortableRandom random(4242);
    std::vector<RandomCase> cases(300);
    for (RandomCase& k : cases) {
        for (float& v : k.c)
            v = random.unit();
        k.alpha = random.unit();
        k.beta = random.unit();
        k.blue = random.unit();
        k.yellow = random.unit();
        k.diffuse = random.range(0.0f, 1.5f);
        const tone::Triple n = random.exactUnit(), l = random.exactUnit();
        k.n = {n.x, n.y, n.z};
        k.l = {l.x, l.y, l.z};
    }
    return cases;
}

// The shader's colour and the other evaluation's (r, g, b) agree in every bit.
inline testing::AssertionResult sameColour(const miColor& viaShader, float r, float g, float b)
{
    const std::string shader = bitLine({viaShader.r, viaShader.g, viaShader.b}), other = bitLine({r, g, b});
    if (shader == other)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "shader " << describeLine(shader) << "\n  other  " << describeLine(other);
}

inline miColor shadeCase(const RandomCase& k)
{
    mrhost::clearScene();
    mrhost::Light light;
    light.kind = mrhost::Light::Listed;
    light.listed.push_back({miColor{1.0f, 1.0f, 1.0f, 1.0f}, k.l});
    ShaderScene s;
    s.values["color"] = {k.c[0], k.c[1], k.c[2]};
    s.values["alpha"] = {k.alpha};
    s.values["beta"] = {k.beta};
    s.values["blue"] = {k.blue};
    s.values["yellow"] = {k.yellow};
    s.values["diffuse"] = {k.diffuse};
    s.values["specularColor"] = {0.0, 0.0, 0.0};
    s.lights = {mrhost::addLight(light)};
    s.normal = k.n;
    return shadeScene(s);
}
#endif
