// The two deliverables shade the same tone: the node through the Maya stand-in
// and the shader through the mental ray stand-in, for one light with one sample
// and every term the other side lacks switched off.
#include "pluginFixture.h"
#include "shaderFixture.h"

#include <gtest/gtest.h>

#include <random>

// The shader normalises the unit normal once more and divides by its sample
// count of 1; a few ulps at values up to about 2.
constexpr float kParityTol = 2e-6f;

TEST(Parity, NodeAndShaderGiveTheSameToneColour)
{
    loadedPlugin();
    ShaderLibrary::get();
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f), signedUnit(-1.0f, 1.0f);
    for (int i = 0; i < 300; ++i) {
        const float c[3] = {unit(rng), unit(rng), unit(rng)};
        const float alpha = unit(rng), beta = unit(rng), blue = unit(rng), yellow = unit(rng);
        const float diffuse = unit(rng) * 1.5f;
        miVector n{signedUnit(rng), signedUnit(rng), signedUnit(rng)};
        miVector l{signedUnit(rng), signedUnit(rng), signedUnit(rng)};
        for (miVector* v : {&n, &l}) {
            const float len = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
            v->x /= len;
            v->y /= len;
            v->z /= len;
        }

        mayahost::Node node("coolwarm");
        node.setAttr("color", {3, {c[0], c[1], c[2]}});
        node.setAttr("alpha", {1, {alpha}});
        node.setAttr("beta", {1, {beta}});
        node.setAttr("blue", {1, {blue}});
        node.setAttr("yellow", {1, {yellow}});
        node.setAttr("diffuse", {1, {diffuse}});
        node.setAttr("translucence", {1, {0.0f}});
        node.setAttr("outLineWidth", {1, {0.0f}});
        node.setAttr("transparency", {3, {0.0f, 0.0f, 0.0f}});
        node.setAttr("specularColor", {3, {0.0f, 0.0f, 0.0f}});
        node.setAttr("normalCamera", {3, {n.x, n.y, n.z}});
        node.setAttr("rayDirection", {3, {0.0f, 0.0f, -1.0f}});
        mayahost::LightSample sample;
        sample.direction[0] = l.x;
        sample.direction[1] = l.y;
        sample.direction[2] = l.z;
        sample.ambient = false;
        sample.preShadowIntensity = 1.0f;
        node.setLights(&sample, 1);
        const mayahost::AttrValue viaNode = node.getAttr("outColor");

        mrhost::clearScene();
        mrhost::Light light;
        light.kind = mrhost::Light::Listed;
        light.listed.push_back({miColor{1.0f, 1.0f, 1.0f, 1.0f}, l});
        ShaderScene s;
        s.values["color"] = {c[0], c[1], c[2]};
        s.values["alpha"] = {alpha};
        s.values["beta"] = {beta};
        s.values["blue"] = {blue};
        s.values["yellow"] = {yellow};
        s.values["diffuse"] = {diffuse};
        s.values["specularColor"] = {0.0, 0.0, 0.0};
        s.lights = {mrhost::addLight(light)};
        s.normal = n;
        const miColor viaShader = shadeScene(s);

        ASSERT_NEAR(viaNode.v[0], viaShader.r, kParityTol) << "case " << i;
        ASSERT_NEAR(viaNode.v[1], viaShader.g, kParityTol) << "case " << i;
        ASSERT_NEAR(viaNode.v[2], viaShader.b, kParityTol) << "case " << i;
    }
}
