// The coolwarm surface-shader node.
//
// Inputs (keyable, saved with the scene):
//   color c, transparency it, ambientColor ambC, incandescence ic, outLineColor olc,
//   specularColor spc                         colours
//   diffuse dfl, translucence tsl, alpha alp, beta bta, blue ble, yellow ylw,
//   eccentricity et, specularRollOff sro      scalars, soft range 0..1
//   outLineWidth olw                          scalar, hard range 0..1
// Sample inputs the renderer fills (hidden, not saved):
//   pointCamera p, normalCamera n, rayDirection rad, lightDataArray ltd
// Outputs: outColor oc, outTransparency ot.
#ifndef COOLWARM_NODE_H
#define COOLWARM_NODE_H

#include <maya/MDataBlock.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MTypeId.h>

// No per-instance data: every instance is its MPxNode part alone, so the renderer
// may compute one node on several threads at once.
class coolwarm : public MPxNode {
public:
    coolwarm();
    virtual ~coolwarm();
    virtual void postConstructor();
    virtual MStatus compute(const MPlug& plug, MDataBlock& block);

    static void* creator();
    static MStatus initialize();

    static MTypeId id;

    // Colour inputs.
    static MObject colorR, colorG, colorB, color;
    static MObject transparencyR, transparencyG, transparencyB, transparency;
    static MObject ambientColorR, ambientColorG, ambientColorB, ambientColor;
    static MObject incandescenceR, incandescenceG, incandescenceB, incandescence;
    static MObject outLineColorR, outLineColorG, outLineColorB, outLineColor;
    static MObject specularColorR, specularColorG, specularColorB, specularColor;
    // Scalar inputs.
    static MObject diffuse, translucence, alpha, beta, blue, yellow;
    static MObject outLineWidth, eccentricity, specularRollOff;
    // Outputs.
    static MObject outColorR, outColorG, outColorB, outColor;
    static MObject outTransparencyR, outTransparencyG, outTransparencyB, outTransparency;
    // Sample inputs.
    static MObject pointCameraX, pointCameraY, pointCameraZ, pointCamera;
    static MObject normalCameraX, normalCameraY, normalCameraZ, normalCamera;
    static MObject rayDirectionX, rayDirectionY, rayDirectionZ, rayDirection;
    // Light data.
    static MObject lightDirectionX, lightDirectionY, lightDirectionZ, lightDirection;
    static MObject lightIntensityR, lightIntensityG, lightIntensityB, lightIntensity;
    static MObject lightAmbient, lightDiffuse, lightSpecular;
    static MObject lightShadowFraction, preShadowIntensity, lightBlindData;
    static MObject lightDataArray;
};

#endif
