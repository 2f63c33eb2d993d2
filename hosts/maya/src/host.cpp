// The host face of the Maya stand-in: plug-in loading, the node-type registry,
// data blocks with dirty propagation, and node instances.
//
// Like Maya's own dependency graph, everything here except ShadingSampler is
// meant for one thread (Maya's main thread); samplers of one node may run on
// many threads at once, each on its own data block.
#include "internal.h"

#include <maya/MFnPlugin.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstdio>
#include <deque>
#include <iostream>
#include <sstream>

namespace mayahost {

namespace {

struct Registry {
    std::vector<std::unique_ptr<NodeType>> types;
    // Types no longer registered stay alive: plug-ins still hold handles on
    // their attributes until the library is unloaded.
    std::vector<std::unique_ptr<NodeType>> retired;
    std::vector<std::unique_ptr<Attribute>> orphans;
    std::vector<std::unique_ptr<PluginRecord>> plugins;
    std::vector<CommandRecord> commands;
    std::vector<std::pair<std::string, std::string>> faults;
    NodeType* initializing = nullptr;
};

Registry& registry()
{
    static Registry r;
    return r;
}

std::string hexId(unsigned id)
{
    std::ostringstream s;
    s << "0x" << std::hex << id;
    return s.str();
}

}  // namespace

const char* kindName(AttrKind kind)
{
    switch (kind) {
    case AttrKind::Float: return "float";
    case AttrKind::Boolean: return "boolean";
    case AttrKind::Compound: return "float3";
    case AttrKind::Address: return "addr";
    case AttrKind::LightData: return "lightData";
    }
    return "unknown";
}

const char* nodeKindName(MPxNode::Type kind)
{
    switch (kind) {
    case MPxNode::kDependNode: return "kDependNode";
    case MPxNode::kLocatorNode: return "kLocatorNode";
    case MPxNode::kDeformerNode: return "kDeformerNode";
    case MPxNode::kManipContainer: return "kManipContainer";
    case MPxNode::kSurfaceShape: return "kSurfaceShape";
    case MPxNode::kFieldNode: return "kFieldNode";
    case MPxNode::kEmitterNode: return "kEmitterNode";
    case MPxNode::kSpringNode: return "kSpringNode";
    case MPxNode::kIkSolverNode: return "kIkSolverNode";
    case MPxNode::kHwShaderNode: return "kHwShaderNode";
    case MPxNode::kTransformNode: return "kTransformNode";
    case MPxNode::kObjectSet: return "kObjectSet";
    case MPxNode::kFluidEmitterNode: return "kFluidEmitterNode";
    case MPxNode::kImagePlaneNode: return "kImagePlaneNode";
    case MPxNode::kParticleAttributeMapperNode: return "kParticleAttributeMapperNode";
    case MPxNode::kLast: break;
    }
    return nullptr;
}

const Attribute* NodeType::find(const std::string& name) const
{
    if (!byName.empty()) {
        const auto found = byName.find(name);
        return found == byName.end() ? nullptr : found->second;
    }
    for (const auto& a : attributes)
        if (a->longName == name || a->shortName == name)
            return a.get();
    return nullptr;
}

NodeType* currentlyInitializing() { return registry().initializing; }

NodeType* findTypeByName(const std::string& name)
{
    for (auto& t : registry().types)
        if (t->name == name)
            return t.get();
    return nullptr;
}

NodeType* findTypeById(unsigned id)
{
    for (auto& t : registry().types)
        if (t->id == id)
            return t.get();
    return nullptr;
}

const NodeType* findNodeType(const std::string& name) { return findTypeByName(name); }

// Maya refuses a type whose name or id is taken, says so, and does not call the
// type's initialize; otherwise initialize runs before registerNode returns.
MStatus registerType(std::unique_ptr<NodeType> type)
{
    Registry& r = registry();
    if (findTypeByName(type->name)) {
        std::cerr << "// Error: Failed to register node type \"" << type->name
                  << "\": the name is already in use //" << std::endl;
        return MS::kFailure;
    }
    if (findTypeById(type->id)) {
        std::cerr << "// Error: Failed to register node type \"" << type->name << "\": the id "
                  << hexId(type->id) << " is already in use //" << std::endl;
        return MS::kFailure;
    }
    NodeType* t = type.get();
    r.initializing = t;
    if (t->initialize)
        t->initialize();
    r.initializing = nullptr;
    // Where two attributes share a name, the one made first is found.
    for (auto it = t->attributes.rbegin(); it != t->attributes.rend(); ++it) {
        t->byName[(*it)->shortName] = it->get();
        t->byName[(*it)->longName] = it->get();
    }
    r.types.push_back(std::move(type));
    return MS::kSuccess;
}

MStatus registerPlaceholderType(const std::string& name, unsigned id)
{
    std::unique_ptr<NodeType> t(new NodeType);
    t->name = name;
    t->id = id;
    return registerType(std::move(t));
}

void deregisterType(unsigned id)
{
    Registry& r = registry();
    for (auto it = r.types.begin(); it != r.types.end(); ++it) {
        if ((*it)->id == id) {
            r.retired.push_back(std::move(*it));
            r.types.erase(it);
            return;
        }
    }
}

Attribute* adoptOrphan(std::unique_ptr<Attribute> attribute)
{
    registry().orphans.push_back(std::move(attribute));
    return registry().orphans.back().get();
}

PluginRecord* pluginOf(const MObject& object) { return Access::as<PluginRecord>(object, HostObject::kPlugin); }

void recordCommand(const std::string& text, bool display, bool undo)
{
    registry().commands.push_back({text, display, undo});
}

const std::vector<CommandRecord>& commandLog() { return registry().commands; }
void clearCommandLog() { registry().commands.clear(); }

void injectFault(const std::string& longName, const std::string& call)
{
    registry().faults.emplace_back(longName, call);
}

void clearFaults() { registry().faults.clear(); }

bool faultInjected(const std::string& longName, const std::string& call)
{
    auto& faults = registry().faults;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->first == longName && it->second == call) {
            faults.erase(it);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Plug-in files

namespace {
typedef MStatus (*EntryPoint)(MObject);

// The platform loader: LoadLibrary on Windows, dlopen elsewhere.
#if defined(_WIN32)
void* openLibrary(const std::string& path, std::string& why)
{
    HMODULE library = LoadLibraryA(path.c_str());
    if (!library)
        why = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(library);
}
void* librarySymbol(void* library, const char* name)
{
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
#else
void* openLibrary(const std::string& path, std::string& why)
{
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* text = dlerror();
        why = text ? text : "unknown error";
    }
    return library;
}
void* librarySymbol(void* library, const char* name) { return dlsym(library, name); }
void closeLibrary(void* library) { dlclose(library); }
#endif

template <class T>
T symbol(void* library, const char* name)
{
    return reinterpret_cast<T>(librarySymbol(library, name));
}
}  // namespace

// Maya opens the file with the platform loader, reads MApiVersion, and calls
// initializePlugin with an MObject that stands for the plug-in.
PluginRecord* loadPlugin(const std::string& path)
{
    std::string why;
    void* library = openLibrary(path, why);
    if (!library)
        throw Error("cannot load plug-in '" + path + "': " + why);
    EntryPoint initialize = symbol<EntryPoint>(library, "initializePlugin");
    EntryPoint uninitialize = symbol<EntryPoint>(library, "uninitializePlugin");
    if (!initialize || !uninitialize) {
        closeLibrary(library);
        throw Error("'" + path + "' is not a Maya plug-in: it exports no initializePlugin and uninitializePlugin");
    }
    std::unique_ptr<PluginRecord> plugin(new PluginRecord);
    plugin->path = path;
    plugin->library = library;
    if (const char* version = symbol<const char*>(library, "MApiVersion"))
        plugin->apiVersion = version;
    PluginRecord* p = plugin.get();
    registry().plugins.push_back(std::move(plugin));
    p->initializeStatus = initialize(Access::object(p));
    return p;
}

// Maya refuses to unload a plug-in whose nodes still exist.
void unloadPlugin(PluginRecord* plugin)
{
    Registry& r = registry();
    auto it = std::find_if(r.plugins.begin(), r.plugins.end(),
                           [plugin](const std::unique_ptr<PluginRecord>& p) { return p.get() == plugin; });
    if (it == r.plugins.end())
        throw Error("unloadPlugin: not a loaded plug-in");
    for (const std::string& name : plugin->registeredTypes)
        if (const NodeType* t = findTypeByName(name))
            if (t->liveNodes > 0)
                throw Error("cannot unload plug-in '" + plugin->path + "': nodes of type '" + name + "' still exist");
    EntryPoint uninitialize = symbol<EntryPoint>(plugin->library, "uninitializePlugin");
    plugin->uninitializeStatus = uninitialize(Access::object(plugin));
    // A type the plug-in failed to deregister cannot outlive its code.
    for (const std::string& name : plugin->registeredTypes)
        if (NodeType* t = findTypeByName(name)) {
            std::cerr << "// Warning: plug-in '" << plugin->path << "' left node type \"" << name
                      << "\" registered; removing it //" << std::endl;
            deregisterType(t->id);
        }
    closeLibrary(plugin->library);
    plugin->library = nullptr;
}

// ---------------------------------------------------------------------------
// Data blocks

// Gives every attribute a place: values of the node itself, or of each element
// of the array attribute above it. Children of a three-float compound share the
// compound's slot, one component each.
void layOut(NodeType& type)
{
    if (type.laidOut)
        return;
    type.slotCount = 0;
    type.elementSlotCounts.clear();
    type.elementAttributes.clear();
    for (auto& a : type.attributes) {
        a->arrayRoot = nullptr;
        for (Attribute* up = a->parent; up; up = up->parent)
            if (up->flags.array)
                a->arrayRoot = up;
    }
    // Arrays are created after their children, so number them first.
    for (auto& a : type.attributes) {
        if (a->flags.array) {
            a->arrayIndex = static_cast<int>(type.elementSlotCounts.size());
            type.elementSlotCounts.push_back(0);
        }
    }
    type.elementAttributes.resize(type.elementSlotCounts.size());
    for (auto& a : type.attributes)
        if (a->arrayRoot)
            type.elementAttributes[static_cast<std::size_t>(a->arrayRoot->arrayIndex)].push_back(a.get());
    for (auto& a : type.attributes) {
        if (a->parent && a->parent->kind == AttrKind::Compound)
            continue;
        if (a->arrayRoot)
            a->slot = type.elementSlotCounts[a->arrayRoot->arrayIndex]++;
        else
            a->slot = type.slotCount++;
    }
    // Second pass, now that every compound has its slot.
    for (auto& a : type.attributes) {
        if (a->parent && a->parent->kind == AttrKind::Compound)
            a->slot = a->parent->slot;
        a->nodeSlot = a->arrayRoot || a->flags.array ? -1 : a->slot;
        a->valueIn = a->nodeSlot >= 0 ? &type : nullptr;
        a->floatOffset = a->component > 0 ? a->component * static_cast<int>(sizeof(float)) : 0;
        a->slotOffset = static_cast<std::ptrdiff_t>(a->slot) * static_cast<std::ptrdiff_t>(sizeof(Value));
    }
    type.laidOut = true;
}

Value& slotValue(Value* values, const Attribute& attribute) { return values[attribute.slot]; }

void writeDefault(Value* values, const Attribute& a)
{
    Value& v = slotValue(values, a);
    switch (a.kind) {
    case AttrKind::Float:
        switch (a.component) {
        case 1: v.v.y = a.defaultValue[0]; break;
        case 2: v.v.z = a.defaultValue[0]; break;
        default: v.v.x = a.defaultValue[0]; break;
        }
        break;
    case AttrKind::Boolean: v.b = a.defaultValue[0] != 0.0f; break;
    case AttrKind::Compound: v.v = MFloatVector(a.defaultValue[0], a.defaultValue[1], a.defaultValue[2]); break;
    case AttrKind::Address: v.p = a.defaultAddress; break;
    case AttrKind::LightData: break;
    }
}

void initBlock(DataBlockImpl& block, const NodeType& type)
{
    block.type = &type;
    block.values.assign(static_cast<std::size_t>(type.slotCount), Value());
    block.arrays.assign(type.elementSlotCounts.size(), ArrayData());
    for (std::size_t i = 0; i < block.arrays.size(); ++i)
        block.arrays[i].slots = static_cast<std::size_t>(type.elementSlotCounts[i]);
    block.dirty.assign(type.attributes.size(), 1);
    for (const auto& a : type.attributes)
        if (!a->arrayRoot)
            writeDefault(block.values.data(), *a);
}

bool isDirty(const DataBlockImpl& block, const Attribute& a)
{
    return block.dirty[a.creationIndex] || (a.parent && block.dirty[a.parent->creationIndex]);
}

// A compound output and its children go out of date together.
void markDirty(DataBlockImpl& block, const Attribute& a)
{
    block.dirty[a.creationIndex] = 1;
    for (const Attribute* c : a.children)
        block.dirty[c->creationIndex] = 1;
    if (a.parent)
        block.dirty[a.parent->creationIndex] = 1;
}

void markClean(DataBlockImpl& block, const Attribute& a)
{
    block.dirty[a.creationIndex] = 0;
    for (const Attribute* c : a.children)
        block.dirty[c->creationIndex] = 0;
}

// A change of an attribute is a change of its parent and its children as well.
void propagate(DataBlockImpl& block, const Attribute& changed)
{
    for (const Attribute* out : changed.affects)
        markDirty(block, *out);
    if (changed.parent)
        for (const Attribute* out : changed.parent->affects)
            markDirty(block, *out);
    for (const Attribute* c : changed.children)
        for (const Attribute* out : c->affects)
            markDirty(block, *out);
}

// Maya asks the node to compute a dirty output, with the plug that was
// requested; a node that does not know a child plug is asked for its parent.
MStatus evaluate(DataBlockImpl& block, const Attribute& a)
{
    const bool computed = a.computed || (a.parent && a.parent->computed);
    if (!computed || !isDirty(block, a))
        return MS::kSuccess;
    MObject node = Access::object(block.record);
    MDataBlock data = Access::dataBlock(&block);
    ++block.computeCalls;
    block.lastCompute = &a;
    MStatus status = block.node->compute(MPlug(node, Access::object(const_cast<Attribute*>(&a))), data);
    if (status == MS::kUnknownParameter && a.parent) {
        ++block.computeCalls;
        block.lastCompute = a.parent;
        status = block.node->compute(MPlug(node, Access::object(a.parent)), data);
    }
    return status;
}

void resizeArray(DataBlockImpl& block, const Attribute& arrayAttribute, std::size_t count)
{
    ArrayData& array = block.arrays[arrayAttribute.arrayIndex];
    if (array.storage.size() < count * array.slots)
        array.storage.resize(count * array.slots);
    // New elements start from their children's defaults.
    const std::vector<const Attribute*>& held = block.type->elementAttributes[arrayAttribute.arrayIndex];
    for (std::size_t i = array.count; i < count; ++i)
        for (const Attribute* a : held)
            writeDefault(array.element(i), *a);
    array.count = count;
}

namespace {

// Where a light-data element's eight children lie in it (byte offsets), in the
// order MFnLightDataAttribute::create took them.
void lightSlotsOf(const Attribute& lightData, std::ptrdiff_t slots[8])
{
    for (int i = 0; i < 8; ++i)
        slots[i] = lightData.children[static_cast<std::size_t>(i)]->slotOffset;
}

// The renderer's fill of a light-data array: one element per light.
void writeLights(DataBlockImpl& block, const Attribute& lightData, const std::ptrdiff_t slots[8], const LightSample* lights,
                 std::size_t count)
{
    ArrayData& array = block.arrays[static_cast<std::size_t>(lightData.arrayIndex)];
    if (array.count != count)  // the same number of lights as last time, as a renderer mostly hands over
        resizeArray(block, lightData, count);
    for (std::size_t i = 0; i < count; ++i) {
        Value* element = array.element(i);
        const LightSample& light = lights[i];
        element->atOffset(slots[0])->v = MFloatVector(light.direction[0], light.direction[1], light.direction[2]);
        element->atOffset(slots[1])->v = MFloatVector(light.intensity[0], light.intensity[1], light.intensity[2]);
        element->atOffset(slots[2])->b = light.ambient;
        element->atOffset(slots[3])->b = light.diffuse;
        element->atOffset(slots[4])->b = light.specular;
        element->atOffset(slots[5])->v.x = light.shadowFraction;
        element->atOffset(slots[6])->v.x = light.preShadowIntensity;
        element->atOffset(slots[7])->p = light.blindData;
    }
}

const Attribute* lightDataOf(const NodeType& type)
{
    for (const auto& a : type.attributes)
        if (a->kind == AttrKind::LightData && a->flags.array && a->children.size() == 8)
            return a.get();
    return nullptr;
}

const Attribute& require(const NodeType& type, const std::string& name)
{
    const Attribute* a = type.find(name);
    if (!a)
        throw Error("unknown attribute '" + name + "' of node " + type.name);
    return *a;
}

AttrValue readValue(const Value* values, const Attribute& a)
{
    AttrValue r;
    const Value& v = values[a.slot];
    switch (a.kind) {
    case AttrKind::Compound:
        r.count = 3;
        r.v[0] = v.v.x;
        r.v[1] = v.v.y;
        r.v[2] = v.v.z;
        break;
    case AttrKind::Boolean:
        r.count = 1;
        r.v[0] = v.b ? 1.0f : 0.0f;
        break;
    case AttrKind::Float:
        r.count = 1;
        r.v[0] = a.component == 1 ? v.v.y : a.component == 2 ? v.v.z : v.v.x;
        break;
    default: break;
    }
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Node

Node::Node(const std::string& typeName) : type_(nullptr), record_(nullptr), instance_(nullptr)
{
    NodeType* type = findTypeByName(typeName);
    if (!type)
        throw Error("unknown node type '" + typeName + "'");
    if (!type->creator)
        throw Error("node type '" + typeName + "' cannot be created");
    layOut(*type);
    type_ = type;
    std::unique_ptr<NodeRecord> record(new NodeRecord);
    record->type = type;
    // Maya makes the node with the type's creator, then calls postConstructor.
    instance_ = static_cast<MPxNode*>(type->creator());
    record_ = record.release();
    Access::bind(instance_, record_);
    instance_->postConstructor();
    block_.reset(new DataBlockImpl);
    initBlock(*block_, *type_);
    block_->node = instance_;
    block_->record = record_;
    fresh_.reset(new DataBlockImpl(*block_));
    ++type_->liveNodes;
}

// Maya deletes a node through its virtual destructor.
Node::~Node()
{
    delete instance_;
    delete record_;
    --type_->liveNodes;
}

bool Node::isMPSafe() const { return record_->mpSafe; }

void Node::reset()
{
    // Assigned in place: the block keeps its memory.
    block_->values = fresh_->values;
    block_->dirty = fresh_->dirty;
    for (ArrayData& array : block_->arrays) {
        array.count = 0;  // elements start from their defaults when they come to be used
        array.nextFailsAfter = -1;
    }
    block_->computeCalls = 0;
    block_->lastCompute = nullptr;
}

void Node::setAttr(const std::string& name, const AttrValue& value) { setAttr(require(*type_, name), name, value); }

void Node::setAttr(const Attribute& a, const std::string& name, const AttrValue& value)
{
    if (a.arrayRoot || a.flags.array || a.kind == AttrKind::LightData || a.kind == AttrKind::Address)
        throw Error("attribute '" + name + "' of node " + type_->name + " is set by the renderer, not by setAttr");
    // A child of an attribute that cannot be set cannot be set either.
    if (!a.flags.writable || (a.parent && !a.parent->flags.writable))
        throw Error("attribute '" + name + "' of node " + type_->name + " is not writable");
    if (value.count != a.valueCount()) {
        std::ostringstream s;
        s << "attribute '" << name << "' of node " << type_->name << " takes " << a.valueCount()
          << (a.valueCount() == 1 ? " value" : " values") << ", got " << value.count;
        throw Error(s.str());
    }
    Value& v = slotValue(block_->values.data(), a);
    float f[3] = {value.v[0], value.v[1], value.v[2]};
    // Maya's setAttr clamps to the hard limits; soft limits only bound sliders.
    for (int i = 0; i < a.valueCount(); ++i) {
        if (a.hardMin.set && f[i] < static_cast<float>(a.hardMin.value[i])) f[i] = static_cast<float>(a.hardMin.value[i]);
        if (a.hardMax.set && f[i] > static_cast<float>(a.hardMax.value[i])) f[i] = static_cast<float>(a.hardMax.value[i]);
    }
    switch (a.kind) {
    case AttrKind::Compound: v.v = MFloatVector(f[0], f[1], f[2]); break;
    case AttrKind::Boolean: v.b = f[0] != 0.0f; break;
    default:
        if (a.component == 1) v.v.y = f[0];
        else if (a.component == 2) v.v.z = f[0];
        else v.v.x = f[0];
        break;
    }
    propagate(*block_, a);
}

AttrValue Node::getAttr(const std::string& name) { return getAttr(require(*type_, name), name); }

AttrValue Node::getAttr(const Attribute& a, const std::string& name)
{
    if (a.arrayRoot || a.flags.array || a.kind == AttrKind::LightData || a.kind == AttrKind::Address)
        throw Error("attribute '" + name + "' of node " + type_->name + " has no single value");
    const MStatus status = evaluate(*block_, a);
    if (!status)
        throw Error("node " + type_->name + " could not compute '" + name + "': " + status.errorString().asChar());
    return readValue(block_->values.data(), a);
}

bool Node::isDirty(const std::string& name) const { return mayahost::isDirty(*block_, require(*type_, name)); }

AttrValue Node::peekAttr(const std::string& name) const
{
    const Attribute& a = require(*type_, name);
    if (a.arrayRoot || a.flags.array)
        throw Error("attribute '" + name + "' of node " + type_->name + " has no single value");
    return readValue(block_->values.data(), a);
}

MStatus Node::computePlug(const std::string& name)
{
    const Attribute& a = require(*type_, name);
    MDataBlock data = Access::dataBlock(block_.get());
    ++block_->computeCalls;
    block_->lastCompute = &a;
    return instance_->compute(MPlug(Access::object(record_), Access::object(const_cast<Attribute*>(&a))), data);
}

void Node::setLights(const LightSample* lights, std::size_t count)
{
    const Attribute* lightData = lightDataOf(*type_);
    if (!lightData)
        throw Error("node type " + type_->name + " has no light-data array");
    std::ptrdiff_t slots[8];
    lightSlotsOf(*lightData, slots);
    writeLights(*block_, *lightData, slots, lights, count);
    propagate(*block_, *lightData);
}

void Node::failArrayNextAfter(const std::string& arrayName, int elements)
{
    const Attribute& a = require(*type_, arrayName);
    if (a.arrayIndex < 0)
        throw Error("attribute '" + arrayName + "' of node " + type_->name + " is not an array");
    block_->arrays[a.arrayIndex].nextFailsAfter = elements;
}

unsigned long Node::computeCalls() const { return block_->computeCalls; }

std::string Node::lastComputePlug() const { return block_->lastCompute ? block_->lastCompute->longName : ""; }

// ---------------------------------------------------------------------------
// ShadingSampler

ShadingSampler::ShadingSampler(Node& node)
    : block_(new DataBlockImpl(node.block())),
      pointCamera_(&require(node.type(), "pointCamera")),
      normalCamera_(&require(node.type(), "normalCamera")),
      rayDirection_(&require(node.type(), "rayDirection")),
      lightData_(lightDataOf(node.type())),
      outColor_(&require(node.type(), "outColor")),
      outTransparency_(&require(node.type(), "outTransparency"))
{
    block_->computeCalls = 0;
    if (!lightData_)
        throw Error("node type " + node.type().name + " has no light-data array");
    lightSlotsOf(*lightData_, lightSlots_);
    // What propagating a change of each sample input would dirty, found once:
    // every sample then marks these, and only when an output is requested.
    DataBlockImpl probe(*block_);
    std::fill(probe.dirty.begin(), probe.dirty.end(), 0);
    for (const Attribute* input : {pointCamera_, normalCamera_, rayDirection_, lightData_})
        propagate(probe, *input);
    for (std::size_t i = 0; i < probe.dirty.size(); ++i)
        if (probe.dirty[i])
            affected_.push_back(static_cast<int>(i));
}

ShadingSampler::~ShadingSampler() {}

void ShadingSampler::markInputsChanged()
{
    if (!inputsChanged_)
        return;
    for (int i : affected_)
        block_->dirty[static_cast<std::size_t>(i)] = 1;
    inputsChanged_ = false;
}

void ShadingSampler::setSample(const float pointCamera[3], const float normalCamera[3], const float rayDirection[3])
{
    Value* values = block_->values.data();
    values[pointCamera_->slot].v = MFloatVector(pointCamera[0], pointCamera[1], pointCamera[2]);
    values[normalCamera_->slot].v = MFloatVector(normalCamera[0], normalCamera[1], normalCamera[2]);
    values[rayDirection_->slot].v = MFloatVector(rayDirection[0], rayDirection[1], rayDirection[2]);
    inputsChanged_ = true;
}

void ShadingSampler::setLights(const LightSample* lights, std::size_t count)
{
    writeLights(*block_, *lightData_, lightSlots_, lights, count);
    inputsChanged_ = true;
}

namespace {
// The renderer's request for an output: computed if out of date, then read.
MStatus requestOutput(DataBlockImpl& block, const Attribute& output, float rgb[3])
{
    const MStatus status = evaluate(block, output);
    const MFloatVector& c = block.values[output.slot].v;
    rgb[0] = c.x;
    rgb[1] = c.y;
    rgb[2] = c.z;
    return status;
}
}  // namespace

MStatus ShadingSampler::outColor(float rgb[3])
{
    markInputsChanged();
    return requestOutput(*block_, *outColor_, rgb);
}

MStatus ShadingSampler::outTransparency(float rgb[3])
{
    markInputsChanged();
    return requestOutput(*block_, *outTransparency_, rgb);
}

}  // namespace mayahost
