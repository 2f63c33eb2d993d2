// The two deliverables shade the same tone, to the last bit: the node through
// the Maya stand-in and the shader through the mental ray stand-in, for one
// light with one sample and every term the other side lacks switched off.
#include "parityCases.h"
#include "pluginFixture.h"

#include <gtest/gtest.h>

TEST(Parity, NodeAndShaderGiveTheSameToneColourBitForBit)
{
    loadedPlugin();
    const std::vector<RandomCase> cases = randomCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const RandomCase& k = cases[i];
        mayahost::Node node("coolwarm");
        node.setAttr("color", {3, {k.c[0], k.c[1], k.c[2]}});
        node.setAttr("alpha", {1, {k.alpha}});
        node.setAttr("beta", {1, {k.beta}});
        node.setAttr("blue", {1, {k.blue}});
        node.setAttr("yellow", {1, {k.yellow}});
        node.setAttr("diffuse", {1, {k.diffuse}});
        node.setAttr("translucence", {1, {0.0f}});
        node.setAttr("outLineWidth", {1, {0.0f}});
        node.setAttr("transparency", {3, {0.0f, 0.0f, 0.0f}});
        node.setAttr("specularColor", {3, {0.0f, 0.0f, 0.0f}});
        node.setAttr("normalCamera", {3, {k.n.x, k.n.y, k.n.z}});
        node.setAttr("rayDirection", {3, {0.0f, 0.0f, -1.0f}});
        mayahost::LightSample sample;
        sample.direction[0] = k.l.x;
        sample.direction[1] = k.l.y;
        sample.direction[2] = k.l.z;
        sample.ambient = false;
        sample.preShadowIntensity = 1.0f;
        node.setLights(&sample, 1);
        const mayahost::AttrValue viaNode = node.getAttr("outColor");
        const miColor viaShader = shadeCase(k);
        ASSERT_TRUE(sameColour(viaShader, viaNode.v[0], viaNode.v[1], viaNode.v[2])) << "case " << i;
    }
}
