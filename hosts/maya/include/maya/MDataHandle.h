// Maya stand-in: MDataHandle, a handle on one value inside a data block.
#ifndef MAYA_STANDIN_MDATAHANDLE_H
#define MAYA_STANDIN_MDATAHANDLE_H

#include <maya/MFloatVector.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MPlug;
namespace mayahost { struct Access; struct Value; struct Attribute; struct DataBlockImpl; }

class MAYA_STANDIN_API MDataHandle {
public:
    MDataHandle() : values_(0), value_(0), attribute_(0), block_(0), component_(-1) {}

    // Values are handed out as non-const references, so that
    // `handle.asFloatVector() = colour;` writes the block.
    bool& asBool() const;
    float& asFloat() const;
    MFloatVector& asFloatVector() const;
    void*& asAddr() const;

    void set(bool value);
    void set(float value);
    void set(const MFloatVector& value);
    void set(float x, float y, float z);

    MDataHandle child(const MObject& attribute);
    MDataHandle child(const MPlug& plug);

    // Marks the value up to date, so the host will not ask for it again until an
    // input that affects it changes.
    void setClean();

private:
    friend struct mayahost::Access;
    mayahost::Value* values_;  // the container the value lives in (node or array element)
    mayahost::Value* value_;
    const mayahost::Attribute* attribute_;
    mayahost::DataBlockImpl* block_;
    int component_;  // 0..2 for a child of a three-float compound, else -1
};

#endif
