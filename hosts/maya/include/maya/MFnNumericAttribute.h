// Maya stand-in: MFnNumericAttribute, creates numeric attributes and sets their
// defaults and limits.
#ifndef MAYA_STANDIN_MFNNUMERICATTRIBUTE_H
#define MAYA_STANDIN_MFNNUMERICATTRIBUTE_H

#include <maya/MFnAttribute.h>
#include <maya/MFnNumericData.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

class MAYA_STANDIN_API MFnNumericAttribute : public MFnAttribute {
public:
    MFnNumericAttribute() {}
    MFnNumericAttribute(const MObject& object, MStatus* ReturnStatus = NULL) : MFnAttribute(object, ReturnStatus) {}

    MObject create(const MString& fullName, const MString& briefName, MFnNumericData::Type unitType,
                   double defaultValue = 0, MStatus* ReturnStatus = NULL);
    // A numeric compound of three existing children.
    MObject create(const MString& fullName, const MString& briefName, const MObject& child1,
                   const MObject& child2, const MObject& child3 = MObject::kNullObj, MStatus* ReturnStatus = NULL);
    MObject createAddr(const MString& fullName, const MString& briefName, void* defaultValue = NULL,
                       MStatus* ReturnStatus = NULL);
    MObject createColor(const MString& fullName, const MString& briefName, MStatus* ReturnStatus = NULL);
    MObject createPoint(const MString& fullName, const MString& briefName, MStatus* ReturnStatus = NULL);

    MFnNumericData::Type unitType(MStatus* ReturnStatus = NULL) const;

    // The overload sets of the real API: a call such as setDefault(1.0f, 0.5, 0)
    // does not resolve there, so it must not resolve here either.
    MStatus setDefault(bool value);
    MStatus setDefault(int value);
    MStatus setDefault(float value);
    MStatus setDefault(double value);
    MStatus setDefault(int value1, int value2);
    MStatus setDefault(float value1, float value2);
    MStatus setDefault(double value1, double value2);
    MStatus setDefault(int value1, int value2, int value3);
    MStatus setDefault(float value1, float value2, float value3);
    MStatus setDefault(double value1, double value2, double value3);

    MStatus setMin(double value);
    MStatus setMin(double value1, double value2);
    MStatus setMin(double value1, double value2, double value3);
    MStatus setMax(double value);
    MStatus setMax(double value1, double value2);
    MStatus setMax(double value1, double value2, double value3);
    MStatus setSoftMin(double value);
    MStatus setSoftMax(double value);

    bool hasMin(MStatus* ReturnStatus = NULL) const;
    bool hasMax(MStatus* ReturnStatus = NULL) const;
    bool hasSoftMin(MStatus* ReturnStatus = NULL) const;
    bool hasSoftMax(MStatus* ReturnStatus = NULL) const;
};

#endif
