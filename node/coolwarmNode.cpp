// The coolwarm node: its attribute schema and its per-sample compute.
#include "coolwarmNode.h"

#include "toneModel.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MFnLightDataAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MString.h>

#include <iostream>

MTypeId coolwarm::id(0x72128);

MObject coolwarm::colorR, coolwarm::colorG, coolwarm::colorB, coolwarm::color;
MObject coolwarm::transparencyR, coolwarm::transparencyG, coolwarm::transparencyB, coolwarm::transparency;
MObject coolwarm::ambientColorR, coolwarm::ambientColorG, coolwarm::ambientColorB, coolwarm::ambientColor;
MObject coolwarm::incandescenceR, coolwarm::incandescenceG, coolwarm::incandescenceB, coolwarm::incandescence;
MObject coolwarm::outLineColorR, coolwarm::outLineColorG, coolwarm::outLineColorB, coolwarm::outLineColor;
MObject coolwarm::specularColorR, coolwarm::specularColorG, coolwarm::specularColorB, coolwarm::specularColor;
MObject coolwarm::diffuse, coolwarm::translucence, coolwarm::alpha, coolwarm::beta, coolwarm::blue, coolwarm::yellow;
MObject coolwarm::outLineWidth, coolwarm::eccentricity, coolwarm::specularRollOff;
MObject coolwarm::outColorR, coolwarm::outColorG, coolwarm::outColorB, coolwarm::outColor;
MObject coolwarm::outTransparencyR, coolwarm::outTransparencyG, coolwarm::outTransparencyB, coolwarm::outTransparency;
MObject coolwarm::pointCameraX, coolwarm::pointCameraY, coolwarm::pointCameraZ, coolwarm::pointCamera;
MObject coolwarm::normalCameraX, coolwarm::normalCameraY, coolwarm::normalCameraZ, coolwarm::normalCamera;
MObject coolwarm::rayDirectionX, coolwarm::rayDirectionY, coolwarm::rayDirectionZ, coolwarm::rayDirection;
MObject coolwarm::lightDirectionX, coolwarm::lightDirectionY, coolwarm::lightDirectionZ, coolwarm::lightDirection;
MObject coolwarm::lightIntensityR, coolwarm::lightIntensityG, coolwarm::lightIntensityB, coolwarm::lightIntensity;
MObject coolwarm::lightAmbient, coolwarm::lightDiffuse, coolwarm::lightSpecular;
MObject coolwarm::lightShadowFraction, coolwarm::preShadowIntensity, coolwarm::lightBlindData;
MObject coolwarm::lightDataArray;

coolwarm::coolwarm() {}
coolwarm::~coolwarm() {}

void coolwarm::postConstructor() { setMPSafe(true); }

void* coolwarm::creator() { return new coolwarm(); }

// The attribute report names this file the way the plug-in's build sees it: the
// source folder is the working directory, so the path is relative to it.
#if defined(_WIN32)
static const char kSourcePath[] = ".\\coolwarmNode.cpp";
#else
static const char kSourcePath[] = "./coolwarmNode.cpp";
#endif

// Reports a failed light-data call and carries on: nothing is undone or skipped.
#define COOLWARM_REPORT(status)                                                                    \
    if (!(status)) {                                                                               \
        std::cerr << "\nAPI error detected in " << kSourcePath << " at line " << __LINE__ << std::endl; \
        (status).perror("");                                                                       \
    }

namespace {

// A keyable, saved colour input made of three float children.
MObject makeColour(MFnNumericAttribute& nAttr, const char* name, const char* brief, const char* rName,
                   const char* rBrief, const char* gName, const char* gBrief, const char* bName,
                   const char* bBrief, float r, float g, float b, MObject& childR, MObject& childG,
                   MObject& childB)
{
    childR = nAttr.create(rName, rBrief, MFnNumericData::kFloat, r);
    childG = nAttr.create(gName, gBrief, MFnNumericData::kFloat, g);
    childB = nAttr.create(bName, bBrief, MFnNumericData::kFloat, b);
    MObject compound = nAttr.create(name, brief, childR, childG, childB);
    nAttr.setKeyable(true);
    nAttr.setStorable(true);
    nAttr.setDefault(r, g, b);
    nAttr.setUsedAsColor(true);
    return compound;
}

// A keyable, saved scalar input with a slider range of 0 to 1.
MObject makeScalar(MFnNumericAttribute& nAttr, const char* name, const char* brief, float value)
{
    MObject attribute = nAttr.create(name, brief, MFnNumericData::kFloat, 0);
    nAttr.setKeyable(true);
    nAttr.setStorable(true);
    nAttr.setDefault(value);
    nAttr.setSoftMin(0.0);
    nAttr.setSoftMax(1.0);
    return attribute;
}

// An output the user can see and read but not set.
MObject makeOutput(MFnNumericAttribute& nAttr, const char* name, const char* brief, const char* rName,
                   const char* rBrief, const char* gName, const char* gBrief, const char* bName,
                   const char* bBrief, MObject& childR, MObject& childG, MObject& childB)
{
    childR = nAttr.create(rName, rBrief, MFnNumericData::kFloat, 0);
    childG = nAttr.create(gName, gBrief, MFnNumericData::kFloat, 0);
    childB = nAttr.create(bName, bBrief, MFnNumericData::kFloat, 0);
    MObject compound = nAttr.create(name, brief, childR, childG, childB);
    nAttr.setHidden(false);
    nAttr.setReadable(true);
    nAttr.setWritable(false);
    return compound;
}

// A hidden, unsaved input the renderer fills for every sample.
MObject makeSampleInput(MFnNumericAttribute& nAttr, const char* name, const char* brief, const char* xName,
                        const char* xBrief, const char* yName, const char* yBrief, const char* zName,
                        const char* zBrief, MObject& childX, MObject& childY, MObject& childZ)
{
    childX = nAttr.create(xName, xBrief, MFnNumericData::kFloat, 1.0);
    childY = nAttr.create(yName, yBrief, MFnNumericData::kFloat, 1.0);
    childZ = nAttr.create(zName, zBrief, MFnNumericData::kFloat, 1.0);
    MObject compound = nAttr.create(name, brief, childX, childY, childZ);
    nAttr.setStorable(false);
    nAttr.setDefault(1.0f, 1.0f, 1.0f);
    nAttr.setHidden(true);
    return compound;
}

}  // namespace

MStatus coolwarm::initialize()
{
    MFnNumericAttribute nAttr;
    MFnLightDataAttribute lAttr;

    // Colour and scalar inputs.
    color = makeColour(nAttr, "color", "c", "colorR", "cr", "colorG", "cg", "colorB", "cb", 0.5f, 0.5f, 0.5f,
                       colorR, colorG, colorB);
    transparency = makeColour(nAttr, "transparency", "it", "transparencyR", "itr", "transparencyG", "itg",
                              "transparencyB", "itb", 0.0f, 0.0f, 0.0f, transparencyR, transparencyG,
                              transparencyB);
    ambientColor = makeColour(nAttr, "ambientColor", "ambC", "ambientColorR", "ambCR", "ambientColorG", "ambCG",
                              "ambientColorB", "ambCB", 0.0f, 0.0f, 0.0f, ambientColorR, ambientColorG,
                              ambientColorB);
    incandescence = makeColour(nAttr, "incandescence", "ic", "incandescenceR", "ir", "incandescenceG", "ig",
                               "incandescenceB", "ib", 0.0f, 0.0f, 0.0f, incandescenceR, incandescenceG,
                               incandescenceB);
    diffuse = makeScalar(nAttr, "diffuse", "dfl", 0.8f);
    translucence = makeScalar(nAttr, "translucence", "tsl", 0.0f);
    alpha = makeScalar(nAttr, "alpha", "alp", 1.0f);
    beta = makeScalar(nAttr, "beta", "bta", 0.37f);
    blue = makeScalar(nAttr, "blue", "ble", 0.09f);
    yellow = makeScalar(nAttr, "yellow", "ylw", 0.13f);

    // The outline width bounds the value itself, not just the slider.
    outLineWidth = nAttr.create("outLineWidth", "olw", MFnNumericData::kFloat, 0);
    nAttr.setKeyable(true);
    nAttr.setStorable(true);
    nAttr.setDefault(0.4f);
    nAttr.setMin(0.0);
    nAttr.setMax(1.0);

    outLineColor = makeColour(nAttr, "outLineColor", "olc", "outLineColorR", "olcr", "outLineColorG", "olcg",
                              "outLineColorB", "olcb", 0.744f, 0.744f, 0.821f, outLineColorR, outLineColorG,
                              outLineColorB);
    eccentricity = makeScalar(nAttr, "eccentricity", "et", 0.3f);
    specularRollOff = makeScalar(nAttr, "specularRollOff", "sro", 0.7f);
    specularColor = makeColour(nAttr, "specularColor", "spc", "specularColorR", "spcr", "specularColorG", "spcg",
                               "specularColorB", "spcb", 0.5f, 0.5f, 0.5f, specularColorR, specularColorG,
                               specularColorB);

    // Outputs.
    outColor = makeOutput(nAttr, "outColor", "oc", "outColorR", "ocr", "outColorG", "ocg", "outColorB", "ocb",
                          outColorR, outColorG, outColorB);
    outTransparency = makeOutput(nAttr, "outTransparency", "ot", "outTransparencyR", "otr", "outTransparencyG",
                                 "otg", "outTransparencyB", "otb", outTransparencyR, outTransparencyG,
                                 outTransparencyB);

    // Sample inputs.
    pointCamera = makeSampleInput(nAttr, "pointCamera", "p", "pointCameraX", "px", "pointCameraY", "py",
                                  "pointCameraZ", "pz", pointCameraX, pointCameraY, pointCameraZ);
    normalCamera = makeSampleInput(nAttr, "normalCamera", "n", "normalCameraX", "nx", "normalCameraY", "ny",
                                   "normalCameraZ", "nz", normalCameraX, normalCameraY, normalCameraZ);
    rayDirection = makeSampleInput(nAttr, "rayDirection", "rad", "rayDirectionX", "rdx", "rayDirectionY", "rdy",
                                   "rayDirectionZ", "rdz", rayDirectionX, rayDirectionY, rayDirectionZ);

    // Light data: hidden, unsaved, read-only to the user. Every call of this
    // group is checked and reported; a failure does not stop the others.
    MStatus stat = MS::kSuccess;

    lightDirectionX = nAttr.create("lightDirectionX", "ldx", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    lightDirectionY = nAttr.create("lightDirectionY", "ldy", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    lightDirectionZ = nAttr.create("lightDirectionZ", "ldz", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    lightDirection = nAttr.create("lightDirection", "ld", lightDirectionX, lightDirectionY, lightDirectionZ, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f, 1.0f, 1.0f); COOLWARM_REPORT(stat);

    lightIntensityR = nAttr.create("lightIntensityR", "lir", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    lightIntensityG = nAttr.create("lightIntensityG", "lig", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    lightIntensityB = nAttr.create("lightIntensityB", "lib", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    lightIntensity = nAttr.create("lightIntensity", "li", lightIntensityR, lightIntensityG, lightIntensityB, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f, 1.0f, 1.0f); COOLWARM_REPORT(stat);

    lightAmbient = nAttr.create("lightAmbient", "la", MFnNumericData::kBoolean, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(true); COOLWARM_REPORT(stat);

    lightDiffuse = nAttr.create("lightDiffuse", "ldf", MFnNumericData::kBoolean, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(true); COOLWARM_REPORT(stat);

    lightSpecular = nAttr.create("lightSpecular", "ls", MFnNumericData::kBoolean, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(false); COOLWARM_REPORT(stat);

    lightShadowFraction = nAttr.create("lightShadowFraction", "lsf", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    preShadowIntensity = nAttr.create("preShadowIntensity", "psi", MFnNumericData::kFloat, 0, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setDefault(1.0f); COOLWARM_REPORT(stat);

    // The blind data is an address with no default.
    lightBlindData = nAttr.createAddr("lightBlindData", "lbld", NULL, &stat);
    COOLWARM_REPORT(stat);
    stat = nAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = nAttr.setHidden(true); COOLWARM_REPORT(stat);
    stat = nAttr.setReadable(true); COOLWARM_REPORT(stat);
    stat = nAttr.setWritable(false); COOLWARM_REPORT(stat);

    lightDataArray = lAttr.create("lightDataArray", "ltd", lightDirection, lightIntensity, lightAmbient,
                                  lightDiffuse, lightSpecular, lightShadowFraction, preShadowIntensity,
                                  lightBlindData, &stat);
    COOLWARM_REPORT(stat);
    stat = lAttr.setArray(true); COOLWARM_REPORT(stat);
    stat = lAttr.setStorable(false); COOLWARM_REPORT(stat);
    stat = lAttr.setHidden(true); COOLWARM_REPORT(stat);
    // The blind data is a pointer in newer headers and an unsigned int in older
    // ones; a plain 0 is null for both.
    stat = lAttr.setDefault(0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, true, true, false, 1.0f, 1.0f, 0);
    COOLWARM_REPORT(stat);

    // The compounds' children come with their parents; the light-data children
    // are added one by one before the array.
    addAttribute(color);
    addAttribute(transparency);
    addAttribute(ambientColor);
    addAttribute(incandescence);
    addAttribute(diffuse);
    addAttribute(translucence);
    addAttribute(alpha);
    addAttribute(beta);
    addAttribute(blue);
    addAttribute(yellow);
    addAttribute(outLineColor);
    addAttribute(outLineWidth);
    addAttribute(eccentricity);
    addAttribute(specularRollOff);
    addAttribute(specularColor);
    addAttribute(outColor);
    addAttribute(outTransparency);
    addAttribute(rayDirection);
    addAttribute(pointCamera);
    addAttribute(normalCamera);
    addAttribute(lightDirection);
    addAttribute(lightIntensity);
    addAttribute(lightAmbient);
    addAttribute(lightDiffuse);
    addAttribute(lightSpecular);
    addAttribute(lightShadowFraction);
    addAttribute(preShadowIntensity);
    addAttribute(lightBlindData);
    addAttribute(lightDataArray);

    // Every input makes outColor out of date; only transparency also makes
    // outTransparency out of date.
    attributeAffects(colorR, outColor);
    attributeAffects(colorG, outColor);
    attributeAffects(colorB, outColor);
    attributeAffects(color, outColor);

    attributeAffects(transparencyR, outTransparency);
    attributeAffects(transparencyG, outTransparency);
    attributeAffects(transparencyB, outTransparency);

    attributeAffects(ambientColorR, outColor);
    attributeAffects(ambientColorG, outColor);
    attributeAffects(ambientColorB, outColor);
    attributeAffects(ambientColor, outColor);

    attributeAffects(transparency, outTransparency);

    attributeAffects(transparencyR, outColor);
    attributeAffects(transparencyG, outColor);
    attributeAffects(transparencyB, outColor);
    attributeAffects(transparency, outColor);

    attributeAffects(incandescenceR, outColor);
    attributeAffects(incandescenceG, outColor);
    attributeAffects(incandescenceB, outColor);
    attributeAffects(incandescence, outColor);

    attributeAffects(diffuse, outColor);
    attributeAffects(translucence, outColor);
    attributeAffects(alpha, outColor);
    attributeAffects(beta, outColor);
    attributeAffects(blue, outColor);
    attributeAffects(yellow, outColor);
    attributeAffects(outLineWidth, outColor);

    attributeAffects(outLineColorR, outColor);
    attributeAffects(outLineColorG, outColor);
    attributeAffects(outLineColorB, outColor);
    attributeAffects(outLineColor, outColor);

    attributeAffects(eccentricity, outColor);
    attributeAffects(specularRollOff, outColor);

    attributeAffects(specularColorR, outColor);
    attributeAffects(specularColorG, outColor);
    attributeAffects(specularColorB, outColor);
    attributeAffects(specularColor, outColor);

    attributeAffects(lightIntensityR, outColor);
    attributeAffects(lightIntensityB, outColor);
    attributeAffects(lightIntensityG, outColor);
    attributeAffects(lightIntensity, outColor);

    attributeAffects(rayDirectionX, outColor);
    attributeAffects(rayDirectionY, outColor);
    attributeAffects(rayDirectionZ, outColor);
    attributeAffects(rayDirection, outColor);

    attributeAffects(pointCamera, outColor);
    attributeAffects(pointCameraX, outColor);
    attributeAffects(pointCameraY, outColor);
    attributeAffects(pointCameraZ, outColor);

    attributeAffects(normalCameraX, outColor);
    attributeAffects(normalCameraY, outColor);
    attributeAffects(normalCameraZ, outColor);
    attributeAffects(normalCamera, outColor);

    attributeAffects(lightDirectionX, outColor);
    attributeAffects(lightDirectionY, outColor);
    attributeAffects(lightDirectionZ, outColor);
    attributeAffects(lightDirection, outColor);

    attributeAffects(lightAmbient, outColor);
    attributeAffects(lightSpecular, outColor);
    attributeAffects(lightDiffuse, outColor);
    attributeAffects(lightShadowFraction, outColor);
    attributeAffects(preShadowIntensity, outColor);
    attributeAffects(lightBlindData, outColor);
    attributeAffects(lightDataArray, outColor);

    return MS::kSuccess;
}

namespace {

inline tone::Triple triple(const MFloatVector& v) { return tone::Triple{v.x, v.y, v.z}; }

// outColor: gather the sample's inputs, walk the light list, run the tone model.
void computeColour(MDataBlock& block)
{
    tone::ToneInputs in;
    const MFloatVector view = block.inputValue(coolwarm::rayDirection).asFloatVector();
    block.inputValue(coolwarm::pointCamera).asFloatVector();  // the model does not use the position
    const MFloatVector normal = block.inputValue(coolwarm::normalCamera).asFloatVector();
    in.view = triple(view);
    in.normal = triple(normal);
    in.colour = triple(block.inputValue(coolwarm::color).asFloatVector());
    in.ambientColour = triple(block.inputValue(coolwarm::ambientColor).asFloatVector());
    in.incandescence = triple(block.inputValue(coolwarm::incandescence).asFloatVector());
    in.specularColour = triple(block.inputValue(coolwarm::specularColor).asFloatVector());
    in.outlineColour = triple(block.inputValue(coolwarm::outLineColor).asFloatVector());
    in.diffuse = block.inputValue(coolwarm::diffuse).asFloat();
    in.translucence = block.inputValue(coolwarm::translucence).asFloat();
    in.alpha = block.inputValue(coolwarm::alpha).asFloat();
    in.beta = block.inputValue(coolwarm::beta).asFloat();
    in.blue = block.inputValue(coolwarm::blue).asFloat();
    in.yellow = block.inputValue(coolwarm::yellow).asFloat();
    in.eccentricity = block.inputValue(coolwarm::eccentricity).asFloat();
    in.rollOff = block.inputValue(coolwarm::specularRollOff).asFloat();
    in.outlineWidth = block.inputValue(coolwarm::outLineWidth).asFloat();

    tone::ToneSums sums;
    MArrayDataHandle lights = block.inputArrayValue(coolwarm::lightDataArray);
    const unsigned count = lights.elementCount();
    // At most `count` elements, each once, in the handle's order; stop as soon as
    // the handle reports there is no next element.
    for (unsigned done = 0; done < count;) {
        MDataHandle light = lights.inputValue();
        const tone::Triple intensity = triple(light.child(coolwarm::lightIntensity).asFloatVector());
        const MFloatVector direction = light.child(coolwarm::lightDirection).asFloatVector();
        const float preShadow = light.child(coolwarm::preShadowIntensity).asFloat();
        if (light.child(coolwarm::lightAmbient).asBool())
            tone::addAmbient(sums, in, intensity);
        if (light.child(coolwarm::lightDiffuse).asBool())
            tone::addDiffuse(sums, in, triple(direction), preShadow);
        if (light.child(coolwarm::lightSpecular).asBool()) {
            MFloatVector half = direction + (-view);
            half.normalize();
            tone::addSpecular(sums, in, triple(half), intensity);
        }
        tone::addTranslucence(sums, in, intensity);
        ++done;
        if (!lights.next())
            break;
    }

    in.transparency = triple(block.inputValue(coolwarm::transparency).asFloatVector());
    // Where a direction has to become a unit one, Maya's normalize decides: the
    // half vector above, and N and V for the outline test here.
    MFloatVector unitNormal = normal;
    MFloatVector unitView = view;
    unitNormal.normalize();
    unitView.normalize();
    const tone::Triple outline = tone::outlineFactor(in, triple(unitNormal), triple(unitView));
    const tone::Triple result = tone::toneResult(sums, in, outline);

    MDataHandle out = block.outputValue(coolwarm::outColor);
    out.asFloatVector() = MFloatVector(result.x, result.y, result.z);
    out.setClean();
}

// outTransparency: the transparency input, passed through.
void computeTransparency(MDataBlock& block)
{
    const MFloatVector transparency = block.inputValue(coolwarm::transparency).asFloatVector();
    MDataHandle out = block.outputValue(coolwarm::outTransparency);
    out.asFloatVector() = transparency;
    out.setClean();
}

}  // namespace

MStatus coolwarm::compute(const MPlug& plug, MDataBlock& block)
{
    if (plug == outColor || plug == outColorR || plug == outColorG || plug == outColorB) {
        computeColour(block);
        return MS::kSuccess;
    }
    if (plug == outTransparency || plug == outTransparencyR || plug == outTransparencyG ||
        plug == outTransparencyB) {
        computeTransparency(block);
        return MS::kSuccess;
    }
    return MS::kUnknownParameter;
}
