// A shading sample of the coolwarm node as the tone model sees it, and the
// helpers that hand it to the node through the Maya stand-in: its inputs by
// attribute name, its light list as the renderer fills it.
#ifndef COOLWARM_TEST_NODE_SAMPLE_H
#define COOLWARM_TEST_NODE_SAMPLE_H

#include "mayaHost.h"
#include "toneModel.h"

#include <gtest/gtest.h>

#include <vector>

inline mayahost::AttrValue v3(float x, float y, float z) { return mayahost::AttrValue{3, {x, y, z}}; }
inline mayahost::AttrValue v1(float x) { return mayahost::AttrValue{1, {x}}; }

struct Sample {
    tone::ToneInputs in;
    std::vector<tone::LightElement> lights;
};

// The node's own inputs; the sample inputs (normal, view, lights) go through a sampler.
inline void setInputs(mayahost::Node& node, const tone::ToneInputs& in)
{
    auto t = [](const tone::Triple& v) { return v3(v.x, v.y, v.z); };
    node.setAttr("color", t(in.colour));
    node.setAttr("transparency", t(in.transparency));
    node.setAttr("ambientColor", t(in.ambientColour));
    node.setAttr("incandescence", t(in.incandescence));
    node.setAttr("specularColor", t(in.specularColour));
    node.setAttr("outLineColor", t(in.outlineColour));
    node.setAttr("diffuse", v1(in.diffuse));
    node.setAttr("translucence", v1(in.translucence));
    node.setAttr("alpha", v1(in.alpha));
    node.setAttr("beta", v1(in.beta));
    node.setAttr("blue", v1(in.blue));
    node.setAttr("yellow", v1(in.yellow));
    node.setAttr("eccentricity", v1(in.eccentricity));
    node.setAttr("specularRollOff", v1(in.rollOff));
    node.setAttr("outLineWidth", v1(in.outlineWidth));
}

inline std::vector<mayahost::LightSample> hostLights(const std::vector<tone::LightElement>& lights)
{
    std::vector<mayahost::LightSample> out;
    for (const tone::LightElement& l : lights) {
        mayahost::LightSample h;
        h.direction[0] = l.direction.x;
        h.direction[1] = l.direction.y;
        h.direction[2] = l.direction.z;
        h.intensity[0] = l.intensity.x;
        h.intensity[1] = l.intensity.y;
        h.intensity[2] = l.intensity.z;
        h.preShadowIntensity = l.preShadowIntensity;
        h.ambient = l.ambient;
        h.diffuse = l.diffuse;
        h.specular = l.specular;
        out.push_back(h);
    }
    return out;
}

// Shades a sample through a sampler; the node's own values must already match.
inline tone::Triple shadeThrough(mayahost::ShadingSampler& sampler, const Sample& s)
{
    const float point[3] = {0.0f, 0.0f, -5.0f};
    const float normal[3] = {s.in.normal.x, s.in.normal.y, s.in.normal.z};
    const float view[3] = {s.in.view.x, s.in.view.y, s.in.view.z};
    sampler.setSample(point, normal, view);
    const std::vector<mayahost::LightSample> lights = hostLights(s.lights);
    sampler.setLights(lights.data(), lights.size());
    float rgb[3];
    EXPECT_EQ(sampler.outColor(rgb), MS::kSuccess);
    return {rgb[0], rgb[1], rgb[2]};
}

#endif
