// Random single-light cases for comparing the shader with the other two
// evaluations of the tone model, and the shader's colour for one of them.
#ifndef COOLWARM_TEST_PARITY_CASES_H
#define COOLWARM_TEST_PARITY_CASES_H

#include "shaderFixture.h"

#include <random>
#include <vector>

// The shader normalises the unit normal once more and divides by its sample
// count of 1; a few ulps at values up to about 2.
constexpr float kParityTol = 2e-6f;

struct RandomCase {
    float c[3], alpha, beta, blue, yellow, diffuse;
    miVector n, l;
};

inline std::vector<RandomCase> randomCases()
{
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), signedUnit(-1.0f, 1.0f);
    std::vector<RandomCase> cases(300);
    for (RandomCase& k : cases) {
        for (float& v : k.c)
            v = unit(rng);
        k.alpha = unit(rng);
        k.beta = unit(rng);
        k.blue = unit(rng);
        k.yellow = unit(rng);
        k.diffuse = unit(rng) * 1.5f;
        k.n = {signedUnit(rng), signedUnit(rng), signedUnit(rng)};
        k.l = {signedUnit(rng), signedUnit(rng), signedUnit(rng)};
        for (miVector* v : {&k.n, &k.l}) {
            const float len = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
            v->x /= len;
            v->y /= len;
            v->z /= len;
        }
    }
    return cases;
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
