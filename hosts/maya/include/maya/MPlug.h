// Maya stand-in: MPlug, one attribute of one node.
#ifndef MAYA_STANDIN_MPLUG_H
#define MAYA_STANDIN_MPLUG_H

#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MAYA_STANDIN_API MPlug {
public:
    MPlug() {}
    MPlug(const MObject& node, const MObject& attribute) : node_(node), attribute_(attribute) {}
    MPlug(const MPlug& other) : node_(other.node_), attribute_(other.attribute_) {}
    MPlug& operator=(const MPlug& other) { node_ = other.node_; attribute_ = other.attribute_; return *this; }

    // True when the plug's attribute is that attribute: a child plug such as
    // outColorR is not equal to its parent outColor.
    bool operator==(const MObject& attribute) const { return attribute_ == attribute; }
    bool operator!=(const MObject& attribute) const { return !(attribute_ == attribute); }
    bool operator==(const MPlug& other) const { return node_ == other.node_ && attribute_ == other.attribute_; }
    bool operator!=(const MPlug& other) const { return !(*this == other); }

    bool isNull(MStatus* ReturnStatus = NULL) const;
    MObject attribute(MStatus* ReturnStatus = NULL) const;
    MObject node(MStatus* ReturnStatus = NULL) const;
    bool isChild(MStatus* ReturnStatus = NULL) const;
    MPlug parent(MStatus* ReturnStatus = NULL) const;

private:
    MObject node_;
    MObject attribute_;
};

#endif
