// Internals shared by the API face and the host face of the Maya stand-in.
#ifndef MAYA_STANDIN_INTERNAL_H
#define MAYA_STANDIN_INTERNAL_H

#include "mayaHost.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataBlock.h>
#include <maya/MDataHandle.h>
#include <maya/MFloatVector.h>
#include <maya/MFnAttribute.h>
#include <maya/MObject.h>

#include <string>
#include <vector>

namespace mayahost {

struct NodeRecord : HostObject {
    NodeRecord() : HostObject(kNode) {}
    const NodeType* type = nullptr;
    bool mpSafe = false;
};

struct DataBlockImpl : BlockData {
    MPxNode* node = nullptr;
    NodeRecord* record = nullptr;
    std::vector<unsigned char> dirty;  // by creation index
    unsigned long computeCalls = 0;
    const Attribute* lastCompute = nullptr;
};

// Everything that turns internal records into API objects and back.
struct Access {
    static MObject object(HostObject* p)
    {
        MObject o;
        o.ptr_ = p;
        return o;
    }
    template <class T>
    static T* as(const MObject& o, HostObject::Kind kind)
    {
        HostObject* p = static_cast<HostObject*>(o.ptr_);
        return p && p->objectKind == kind ? static_cast<T*>(p) : nullptr;
    }
    static Attribute* attribute(const MObject& o) { return as<Attribute>(o, HostObject::kAttribute); }
    static MDataBlock dataBlock(DataBlockImpl* impl) { return MDataBlock(impl); }
    static Attribute* fnAttribute(const MFnAttribute& fn) { return fn.attribute_; }
    static void bind(MPxNode* node, NodeRecord* record) { node->record_ = record; }
    static NodeRecord* record(const MPxNode* node) { return node->record_; }
    static const Attribute* handleAttribute(const MDataHandle& h) { return static_cast<const Attribute*>(h.attribute_); }
    static DataBlockImpl* handleBlock(const MDataHandle& h) { return static_cast<DataBlockImpl*>(h.block_); }
};

// The registry of node types and what the host has been asked to do.
NodeType* currentlyInitializing();
NodeType* findTypeByName(const std::string& name);
NodeType* findTypeById(unsigned id);
MStatus registerType(std::unique_ptr<NodeType> type);
PluginRecord* pluginOf(const MObject& object);
void recordCommand(const std::string& text, bool display, bool undo);
// True (and the fault is used up) when a fault was injected for this call.
bool faultInjected(const std::string& longName, const std::string& call);
// Keeps attributes made while no type is being registered.
Attribute* adoptOrphan(std::unique_ptr<Attribute> attribute);

// Data blocks.
void layOut(NodeType& type);
void initBlock(DataBlockImpl& block, const NodeType& type);
Value& slotValue(Value* values, const Attribute& attribute);
void writeDefault(Value* values, const Attribute& attribute);
void markDirty(DataBlockImpl& block, const Attribute& attribute);
void markClean(DataBlockImpl& block, const Attribute& attribute);
bool isDirty(const DataBlockImpl& block, const Attribute& attribute);
// Marks dirty everything a change of `changed` affects.
void propagate(DataBlockImpl& block, const Attribute& changed);
// Computes `attribute` on `block` when it is dirty.
MStatus evaluate(DataBlockImpl& block, const Attribute& attribute);
void resizeArray(DataBlockImpl& block, const Attribute& arrayAttribute, std::size_t count);

}  // namespace mayahost

#endif
