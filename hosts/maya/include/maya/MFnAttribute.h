// Maya stand-in: MFnAttribute, the function set for an attribute's flags.
#ifndef MAYA_STANDIN_MFNATTRIBUTE_H
#define MAYA_STANDIN_MFNATTRIBUTE_H

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

namespace mayahost { struct Access; struct Attribute; }

class MAYA_STANDIN_API MFnAttribute {
public:
    MFnAttribute() : attribute_(0) {}
    MFnAttribute(const MObject& object, MStatus* ReturnStatus = NULL);
    virtual ~MFnAttribute() {}

    MObject object(MStatus* ReturnStatus = NULL) const;
    MString name(MStatus* ReturnStatus = NULL) const;
    MString shortName(MStatus* ReturnStatus = NULL) const;

    bool isReadable(MStatus* ReturnStatus = NULL) const;
    bool isWritable(MStatus* ReturnStatus = NULL) const;
    bool isConnectable(MStatus* ReturnStatus = NULL) const;
    bool isStorable(MStatus* ReturnStatus = NULL) const;
    bool isKeyable(MStatus* ReturnStatus = NULL) const;
    bool isHidden(MStatus* ReturnStatus = NULL) const;
    bool isUsedAsColor(MStatus* ReturnStatus = NULL) const;
    bool isArray(MStatus* ReturnStatus = NULL) const;

    MStatus setReadable(bool state);
    MStatus setWritable(bool state);
    MStatus setConnectable(bool state);
    MStatus setStorable(bool state);
    MStatus setKeyable(bool state);
    MStatus setHidden(bool state);
    MStatus setUsedAsColor(bool state);
    MStatus setArray(bool state);

protected:
    friend struct mayahost::Access;
    mayahost::Attribute* attribute_;  // the attribute created or attached last
};

#endif
