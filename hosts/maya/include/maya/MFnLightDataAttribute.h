// Maya stand-in: MFnLightDataAttribute, the compound through which the renderer
// hands a shading node one light's sample.
#ifndef MAYA_STANDIN_MFNLIGHTDATAATTRIBUTE_H
#define MAYA_STANDIN_MFNLIGHTDATAATTRIBUTE_H

#include <maya/MFnAttribute.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

class MAYA_STANDIN_API MFnLightDataAttribute : public MFnAttribute {
public:
    MFnLightDataAttribute() {}
    MFnLightDataAttribute(const MObject& object, MStatus* ReturnStatus = NULL) : MFnAttribute(object, ReturnStatus) {}

    MObject create(const MString& fullName, const MString& briefName, const MObject& direction,
                   const MObject& intensity, const MObject& ambient, const MObject& diffuse,
                   const MObject& specular, const MObject& shadowFraction, const MObject& preShadowIntensity,
                   const MObject& blindData, MStatus* ReturnStatus = NULL);

    MStatus setDefault(float dirX, float dirY, float dirZ, float intR, float intG, float intB, bool ambient,
                       bool diffuse, bool specular, float shadowFraction, float preShadowIntensity,
                       void* blindData);
};

#endif
