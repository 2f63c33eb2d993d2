// The host face of the Maya stand-in: what Maya itself does with a plug-in.
//
// It loads plug-in files with the platform loader, keeps the node-type registry,
// creates node instances, sets and gets attribute values, propagates dirtiness
// along the declared dependencies and asks nodes to compute, and lets a renderer
// shade through a node on many threads at once, each thread on its own data
// block. Plug-in sources never include this header; tests and the command-line
// tool do.
#ifndef MAYA_STANDIN_HOST_H
#define MAYA_STANDIN_HOST_H

#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <maya/standin/DataLayout.h>

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace mayahost {

// A failure of a host-face call: unknown names, unloadable files, bad values.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const char* kindName(AttrKind kind);
// The enumerator's name ("kDependNode", ...), or null for a value outside the
// enumeration: a node kind is reported by name, never by its number, which
// differs between Maya versions.
const char* nodeKindName(MPxNode::Type kind);

struct Flags {
    // Maya's defaults for a new attribute.
    bool readable = true;
    bool writable = true;
    bool connectable = true;
    bool storable = true;
    bool keyable = false;
    bool hidden = false;
    bool array = false;
    bool usedAsColor = false;
};

struct Limit {
    bool set = false;
    double value[3] = {0.0, 0.0, 0.0};
};

// The light-data default of a light-data attribute, as setDefault was given it.
struct LightDefault {
    bool set = false;
    float direction[3] = {0.0f, 0.0f, 0.0f};
    float intensity[3] = {0.0f, 0.0f, 0.0f};
    bool ambient = false, diffuse = false, specular = false;
    float shadowFraction = 0.0f;
    float preShadowIntensity = 0.0f;
    void* blindData = nullptr;
};

struct NodeType;

// One attribute of a node type, as created by the plug-in's initialize.
struct Attribute : AttrPlace {
    std::string longName;
    std::string shortName;
    int creationIndex = 0;
    Attribute* parent = nullptr;
    std::vector<Attribute*> children;
    float defaultValue[3] = {0.0f, 0.0f, 0.0f};  // booleans as 0 or 1
    void* defaultAddress = nullptr;
    LightDefault lightDefault;
    Limit hardMin, hardMax, softMin, softMax;
    Flags flags;
    bool added = false;                // handed to MPxNode::addAttribute
    std::vector<Attribute*> affects;   // what a change of this attribute dirties
    bool computed = false;             // some input affects it: the node computes it

    // The array attribute above this one, whose every element holds a value of
    // it (see AttrPlace for the rest of where the value lives).
    Attribute* arrayRoot = nullptr;

    int valueCount() const { return kind == AttrKind::Compound ? 3 : 1; }
};

struct FnPluginRecord {
    std::string vendor, version, apiVersion;
};

struct NodeType {
    std::string name;
    unsigned id = 0;
    MPxNode::Type kind = MPxNode::kDependNode;
    std::string classification;
    MCreatorFunction creator = nullptr;
    MInitializeFunction initialize = nullptr;
    std::vector<std::unique_ptr<Attribute>> attributes;  // creation order

    // Filled when the first node is created.
    bool laidOut = false;
    int slotCount = 0;
    std::vector<int> elementSlotCounts;  // per array
    std::vector<std::vector<const Attribute*>> elementAttributes;  // per array: what each element holds
    mutable int liveNodes = 0;

    const Attribute* find(const std::string& name) const;  // long or short name
    // Long and short names, filled once the type's initialize has made them all.
    std::unordered_map<std::string, const Attribute*> byName;
};

struct CommandRecord {
    std::string text;
    bool displayEnabled;
    bool undoEnabled;
};

// A loaded plug-in file.
struct PluginRecord : HostObject {
    PluginRecord() : HostObject(kPlugin) {}
    std::string path;
    void* library = nullptr;
    std::string apiVersion;                     // the exported MApiVersion text
    std::vector<FnPluginRecord> functionSets;   // every MFnPlugin made on it, in order
    std::vector<std::string> registeredTypes;
    MStatus initializeStatus;
    MStatus uninitializeStatus;
};

// Loads a plug-in with the platform loader and calls its initializePlugin.
// Throws Error when the file cannot be loaded or lacks an entry point.
PluginRecord* loadPlugin(const std::string& path);
// Calls uninitializePlugin and unloads the library.
void unloadPlugin(PluginRecord* plugin);

const NodeType* findNodeType(const std::string& name);
// Occupies a type name and id, as another plug-in would have.
MStatus registerPlaceholderType(const std::string& name, unsigned id);
void deregisterType(unsigned id);

const std::vector<CommandRecord>& commandLog();
void clearCommandLog();

// Makes the next call named `call` ("create", "setStorable", "setDefault", ...)
// on the attribute called `longName` fail with kFailure; the call changes nothing.
void injectFault(const std::string& longName, const std::string& call);
void clearFaults();

struct DataBlockImpl;
struct NodeRecord;

// One value as the host face reads and writes it: one float, a boolean (0 or 1),
// or three floats.
struct AttrValue {
    int count = 0;
    float v[3] = {0.0f, 0.0f, 0.0f};
};

// What the renderer hands a node for one light of one sample.
struct LightSample {
    float direction[3] = {1.0f, 1.0f, 1.0f};
    float intensity[3] = {1.0f, 1.0f, 1.0f};
    bool ambient = true;
    bool diffuse = true;
    bool specular = false;
    float shadowFraction = 1.0f;
    float preShadowIntensity = 1.0f;
    void* blindData = nullptr;
};

// An instance of a registered node type, with its own attribute values.
class Node {
public:
    explicit Node(const std::string& typeName);
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    const NodeType& type() const { return *type_; }
    MPxNode* instance() const { return instance_; }
    bool isMPSafe() const;
    // The data block back as the node was made: every value its default, every
    // array empty, every output out of date, no computes counted. The instance
    // is kept: for a node class without data of its own, a new node without
    // making one.
    void reset();

    // Maya's setAttr: hard limits clamp, soft limits only inform; outputs refuse.
    void setAttr(const std::string& name, const AttrValue& value);
    // Maya's getAttr: a dirty output is computed first.
    AttrValue getAttr(const std::string& name);
    // The same for an attribute of this node's type already found, with the
    // name the caller knows it by for messages.
    void setAttr(const Attribute& attribute, const std::string& name, const AttrValue& value);
    AttrValue getAttr(const Attribute& attribute, const std::string& name);
    bool isDirty(const std::string& name) const;
    // The value as it stands in the block, without computing anything.
    AttrValue peekAttr(const std::string& name) const;
    // Calls the node's compute for that plug directly, dirty or not.
    MStatus computePlug(const std::string& name);

    // The renderer's fill of the light list (its children are not writable).
    void setLights(const LightSample* lights, std::size_t count);

    // Test hook: make MArrayDataHandle::next fail after this many elements.
    void failArrayNextAfter(const std::string& arrayName, int elements);

    // How often compute was called on this node's own block, and with what.
    unsigned long computeCalls() const;
    std::string lastComputePlug() const;

    DataBlockImpl& block() { return *block_; }

private:
    const NodeType* type_;
    NodeRecord* record_;
    MPxNode* instance_;
    std::unique_ptr<DataBlockImpl> block_;
    std::unique_ptr<DataBlockImpl> fresh_;  // the block as the node was made
};

// One renderer thread's view of a node: a data block of its own, seeded from the
// node's values, into which the sample inputs and the light list are written for
// every sample. Nothing is looked up by name or allocated once the sampler exists
// and its light list has reached its largest size.
class ShadingSampler {
public:
    explicit ShadingSampler(Node& node);
    ~ShadingSampler();
    ShadingSampler(const ShadingSampler&) = delete;
    ShadingSampler& operator=(const ShadingSampler&) = delete;

    void setSample(const float pointCamera[3], const float normalCamera[3], const float rayDirection[3]);
    void setLights(const LightSample* lights, std::size_t count);
    // Requests the output, as the renderer does; writes three floats.
    MStatus outColor(float rgb[3]);
    MStatus outTransparency(float rgb[3]);

private:
    // Marks dirty, once, everything the sample inputs and the light list affect.
    void markInputsChanged();

    std::unique_ptr<DataBlockImpl> block_;
    std::vector<int> affected_;    // creation indices of what the sample inputs dirty
    bool inputsChanged_ = false;   // sample inputs written since the last request
    std::ptrdiff_t lightSlots_[8];  // where the light-data children lie in an element (bytes)
    const Attribute* pointCamera_;
    const Attribute* normalCamera_;
    const Attribute* rayDirection_;
    const Attribute* lightData_;
    const Attribute* outColor_;
    const Attribute* outTransparency_;
};

}  // namespace mayahost

#endif
