// Maya stand-in: how a data block lays out its values, and where each attribute's
// value lives in it. The data block and handle classes read this directly, so
// that the accessors a node's compute calls once per shading sample are inline.
// Plug-in sources never include this header themselves.
#ifndef MAYA_STANDIN_DATA_LAYOUT_H
#define MAYA_STANDIN_DATA_LAYOUT_H

#include <maya/MFloatVector.h>
#include <maya/MObject.h>

#include <cstddef>
#include <vector>

namespace mayahost {

enum class AttrKind { Float, Boolean, Compound, Address, LightData };

struct NodeType;

// Everything an MObject can stand for carries its kind, so that a handle of the
// wrong kind is refused rather than misread. The two keys below let the
// per-sample accessors accept an attribute with one compare each: they are
// null for anything that is not an attribute, and for an attribute that has no
// value in a node (valueIn) or no parent (up).
struct HostObject {
    enum Kind { kAttribute, kPlugin, kNode };
    explicit HostObject(Kind k) : objectKind(k) {}
    Kind objectKind;
    const NodeType* valueIn = nullptr;  // the node type whose nodes hold this value themselves
    const HostObject* up = nullptr;     // the parent attribute
};

// Where one attribute's value lives, fixed when the node type is laid out
// (before its first node exists): a slot of the node's values, or of each
// element of the array above it. Children of a three-float compound share the
// compound's slot and pick one component.
struct AttrPlace : HostObject {
    AttrPlace() : HostObject(kAttribute) {}
    AttrKind kind = AttrKind::Float;
    NodeType* owner = nullptr;
    int slot = -1;
    int component = -1;   // 0..2 for a child of a three-float compound, else -1
    int nodeSlot = -1;    // the slot when the value lives in the node itself, else -1
    int floatOffset = 0;  // bytes from the start of the slot's value to this float
    // The slot as a byte offset, so that an accessor finds the value with one add.
    std::ptrdiff_t slotOffset = 0;
    int arrayIndex = -1;  // for an array attribute: which of the block's arrays
};

// Storage of one slot: a scalar in v.x (or the component of a compound's
// child), a three-float compound in v, a boolean in b, an address in p.
struct Value {
    float* at(int floatOffset) { return reinterpret_cast<float*>(reinterpret_cast<char*>(&v) + floatOffset); }
    // The value `offset` bytes (a slot's slotOffset) into the values starting here.
    Value* atOffset(std::ptrdiff_t offset) { return reinterpret_cast<Value*>(reinterpret_cast<char*>(this) + offset); }

    MFloatVector v;
    bool b = false;
    void* p = nullptr;
};

// The elements of one array attribute, each `slots` values, one after another.
// Elements are kept when the count shrinks, so refilling a light list of the
// same size every sample never allocates.
struct ArrayData {
    std::vector<Value> storage;
    std::size_t slots = 0;
    std::size_t count = 0;
    int nextFailsAfter = -1;  // test hook, -1 when off

    Value* element(std::size_t i) { return storage.data() + i * slots; }
};

// The values of one data block.
struct BlockData {
    const NodeType* type = nullptr;
    std::vector<Value> values;
    std::vector<ArrayData> arrays;
};

// For the checks in the per-sample accessors: the attribute found is what a
// working node passes; anything else is the rare path.
#if defined(__GNUC__)
#define MAYA_STANDIN_EXPECTED(x) __builtin_expect(!!(x), 1)
#else
#define MAYA_STANDIN_EXPECTED(x) (x)
#endif

// The attribute an MObject stands for, or null.
struct ApiAccess {
    static const HostObject* object(const MObject& o) { return static_cast<const HostObject*>(o.ptr_); }
    static const AttrPlace* place(const MObject& o)
    {
        const HostObject* p = object(o);
        return p && p->objectKind == HostObject::kAttribute ? static_cast<const AttrPlace*>(p) : nullptr;
    }
};

// What a handle on nothing names as its attribute: an attribute of no type and
// nobody's parent, so that no child and no value is ever found through it.
inline const AttrPlace* noAttribute()
{
    static const AttrPlace none;
    return &none;
}

}  // namespace mayahost

#endif
