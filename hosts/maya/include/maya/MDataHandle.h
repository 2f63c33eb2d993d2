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
    MDataHandle() { *this = invalid(NULL); }

    // Values are handed out as non-const references, so that
    // `handle.asFloatVector() = colour;` writes the block. Every handle has a
    // value: a handle on nothing has a scratch one.
    bool& asBool() const { return value_->b; }
    float& asFloat() const { return *float_; }
    MFloatVector& asFloatVector() const { return value_->v; }
    void*& asAddr() const { return value_->p; }

    void set(bool value) { asBool() = value; }
    void set(float value) { asFloat() = value; }
    void set(const MFloatVector& value) { asFloatVector() = value; }
    void set(float x, float y, float z) { asFloatVector() = MFloatVector(x, y, z); }

    MDataHandle child(const MObject& attribute)
    {
        // Only a child of this handle's attribute has it as `up` (a handle on
        // nothing names an attribute that is nobody's parent).
        const mayahost::HostObject* o = mayahost::ApiAccess::object(attribute);
        if (!MAYA_STANDIN_EXPECTED(o && o->up == attribute_))
            return invalid(NULL);
        // A three-float compound's children are components of its own value, in
        // its slot; any other compound's children have slots of their own beside it.
        const mayahost::AttrPlace* c = static_cast<const mayahost::AttrPlace*>(o);
        return MDataHandle(values_->atOffset(c->slotOffset), values_, c, block_);
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
        : value_(value), float_(value->at(attribute->floatOffset)), values_(values), attribute_(attribute),
          block_(block)
    {
    }
    // A handle on nothing: reads give zero, writes go nowhere shared.
    static MDataHandle invalid(MStatus* ReturnStatus);
    static mayahost::Value& scratch();

    mayahost::Value* value_;
    float* float_;             // the float asFloat reads: v.x, or a compound child's component
    mayahost::Value* values_;  // the container the value lives in (node or array element)
    const mayahost::AttrPlace* attribute_;  // never null: noAttribute() on a handle on nothing
    mayahost::BlockData* block_;            // null on a handle on nothing
};

#endif
