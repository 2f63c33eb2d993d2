// Maya stand-in: MDataHandle, a handle on one value inside a data block.
#ifndef MAYA_STANDIN_MDATAHANDLE_H
#define MAYA_STANDIN_MDATAHANDLE_H

#include <maya/MFloatVector.h>
#include <maya/MObject.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <maya/standin/DataLayout.h>

class MPlug;
class MDataBlock;
class MArrayDataHandle;
namespace mayahost { struct Access; }

class MAYA_STANDIN_API MDataHandle {
public:
    MDataHandle() : value_(0), float_(0), values_(0), attribute_(0), block_(0) {}

    // Values are handed out as non-const references, so that
    // `handle.asFloatVector() = colour;` writes the block.
    bool& asBool() const { return value_ ? value_->b : scratch().b; }
    float& asFloat() const { return float_ ? *float_ : scratch().v.x; }
    MFloatVector& asFloatVector() const { return value_ ? value_->v : scratch().v; }
    void*& asAddr() const { return value_ ? value_->p : scratch().p; }

    void set(bool value) { asBool() = value; }
    void set(float value) { asFloat() = value; }
    void set(const MFloatVector& value) { asFloatVector() = value; }
    void set(float x, float y, float z) { asFloatVector() = MFloatVector(x, y, z); }

    MDataHandle child(const MObject& attribute)
    {
        const mayahost::AttrPlace* c = mayahost::ApiAccess::place(attribute);
        if (!c || !attribute_ || c->up != attribute_)
            return invalid(NULL);
        // A three-float compound's children are components of its own value; any
        // other compound's children have slots of their own beside it.
        mayahost::Value* value = attribute_->kind == mayahost::AttrKind::Compound ? value_ : values_ + c->slot;
        return MDataHandle(value, values_, c, block_);
    }
    MDataHandle child(const MPlug& plug);

    // Marks the value up to date, so the host will not ask for it again until an
    // input that affects it changes.
    void setClean();

private:
    friend struct mayahost::Access;
    friend class MDataBlock;
    friend class MArrayDataHandle;
    MDataHandle(mayahost::Value* value, mayahost::Value* values, const mayahost::AttrPlace* attribute,
                mayahost::BlockData* block)
        : value_(value), float_(value->at(attribute ? attribute->floatOffset : 0)), values_(values),
          attribute_(attribute), block_(block)
    {
    }
    // A handle on nothing: reads give zero, writes go nowhere shared.
    static MDataHandle invalid(MStatus* ReturnStatus);
    static mayahost::Value& scratch();

    mayahost::Value* value_;
    float* float_;             // the float asFloat reads: v.x, or a compound child's component
    mayahost::Value* values_;  // the container the value lives in (node or array element)
    const mayahost::AttrPlace* attribute_;
    mayahost::BlockData* block_;
};

#endif
