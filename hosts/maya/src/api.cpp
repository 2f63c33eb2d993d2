// The API face of the Maya stand-in: the classes a plug-in calls. Each behaviour
// follows what Maya does for the calls the coolwarm plug-in makes.
#include "internal.h"

#include <maya/MFnLightDataAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MPxNode.h>
#include <maya/MString.h>

#include <algorithm>
#include <iostream>
#include <memory>

using mayahost::Access;
using mayahost::AttrKind;
using mayahost::Attribute;

MObject MObject::kNullObj;

// ---------------------------------------------------------------------------
// MPlug

bool MPlug::isNull(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return attribute_.isNull();
}

MObject MPlug::attribute(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return attribute_;
}

MObject MPlug::node(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return node_;
}

bool MPlug::isChild(MStatus* ReturnStatus) const
{
    const Attribute* a = Access::attribute(attribute_);
    if (ReturnStatus) *ReturnStatus = a ? MS::kSuccess : MS::kInvalidParameter;
    return a && a->parent;
}

MPlug MPlug::parent(MStatus* ReturnStatus) const
{
    Attribute* a = Access::attribute(attribute_);
    if (!a || !a->parent) {
        if (ReturnStatus) *ReturnStatus = MS::kInvalidParameter;
        return MPlug();
    }
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return MPlug(node_, Access::object(a->parent));
}

// ---------------------------------------------------------------------------
// MDataHandle (the accessors are inline)

mayahost::Value& MDataHandle::scratch()
{
    thread_local mayahost::Value value;
    value = mayahost::Value();
    return value;
}

MDataHandle MDataHandle::invalid(MStatus* ReturnStatus)
{
    if (ReturnStatus) *ReturnStatus = MS::kInvalidParameter;
    mayahost::Value& s = scratch();
    return MDataHandle(&s, &s, mayahost::noAttribute(), nullptr);
}

MDataHandle MDataHandle::child(const MPlug& plug) { return child(plug.attribute()); }

void MDataHandle::setClean()
{
    if (block_)
        mayahost::markClean(*Access::handleBlock(*this), *Access::handleAttribute(*this));
}

// ---------------------------------------------------------------------------
// MArrayDataHandle (the cursor's walk is inline)

unsigned MArrayDataHandle::elementIndex(MStatus* ReturnStatus)
{
    const bool valid = array_ && position_ < array_->count;
    if (ReturnStatus) *ReturnStatus = valid ? MS::kSuccess : MS::kFailure;
    return position_;
}

// Elements here are dense, so logical and physical indices agree.
MStatus MArrayDataHandle::jumpToElement(unsigned index)
{
    if (!array_ || index >= array_->count)
        return MS::kInvalidParameter;
    position_ = index;
    return MS::kSuccess;
}

MStatus MArrayDataHandle::jumpToArrayElement(unsigned position) { return jumpToElement(position); }

// ---------------------------------------------------------------------------
// MDataBlock (the accessors by attribute are inline)

MDataHandle MDataBlock::inputValue(const MPlug& plug, MStatus* ReturnStatus)
{
    return inputValue(plug.attribute(), ReturnStatus);
}

MDataHandle MDataBlock::outputValue(const MPlug& plug, MStatus* ReturnStatus)
{
    return inputValue(plug.attribute(), ReturnStatus);
}

MArrayDataHandle MDataBlock::inputArrayValue(const MPlug& plug, MStatus* ReturnStatus)
{
    return inputArrayValue(plug.attribute(), ReturnStatus);
}

MArrayDataHandle MDataBlock::outputArrayValue(const MPlug& plug, MStatus* ReturnStatus)
{
    return inputArrayValue(plug.attribute(), ReturnStatus);
}

MStatus MDataBlock::setClean(const MObject& attribute)
{
    const Attribute* a = Access::attribute(attribute);
    if (!a || a->owner != data_->type)
        return MS::kInvalidParameter;
    mayahost::markClean(*static_cast<mayahost::DataBlockImpl*>(data_), *a);
    return MS::kSuccess;
}

MStatus MDataBlock::setClean(const MPlug& plug) { return setClean(plug.attribute()); }

// ---------------------------------------------------------------------------
// MPxNode

MPxNode::MPxNode() : record_(nullptr) {}
MPxNode::~MPxNode() {}
void MPxNode::postConstructor() {}
// Maya's base compute computes nothing.
MStatus MPxNode::compute(const MPlug&, MDataBlock&) { return MS::kUnknownParameter; }
bool MPxNode::getInternalValueInContext(const MPlug&, MDataHandle&, MDGContext&) { return false; }
bool MPxNode::setInternalValueInContext(const MPlug&, const MDataHandle&, MDGContext&) { return false; }
bool MPxNode::getInternalValue(const MPlug&, MDataHandle&) { return false; }
bool MPxNode::setInternalValue(const MPlug&, const MDataHandle&) { return false; }
int MPxNode::internalArrayCount(const MPlug&, const MDGContext&) const { return -1; }
void MPxNode::copyInternalData(MPxNode*) {}
MStatus MPxNode::legalConnection(const MPlug&, const MPlug&, bool, bool&) const { return MS::kUnknownParameter; }
MStatus MPxNode::legalDisconnection(const MPlug&, const MPlug&, bool, bool&) const { return MS::kUnknownParameter; }
MStatus MPxNode::setDependentsDirty(const MPlug&, MPlugArray&) { return MS::kSuccess; }
MStatus MPxNode::connectionMade(const MPlug&, const MPlug&, bool) { return MS::kUnknownParameter; }
MStatus MPxNode::connectionBroken(const MPlug&, const MPlug&, bool) { return MS::kUnknownParameter; }
bool MPxNode::isPassiveOutput(const MPlug&) const { return false; }
MStatus MPxNode::shouldSave(const MPlug&, bool&) { return MS::kUnknownParameter; }
MPlug MPxNode::passThroughToOne(const MPlug&) const { return MPlug(); }
bool MPxNode::passThroughToMany(const MPlug&, MPlugArray&) const { return false; }
MPxNode::Type MPxNode::type() const { return kDependNode; }
bool MPxNode::isAbstractClass() const { return false; }

MObject MPxNode::thisMObject() const { return record_ ? Access::object(record_) : MObject(); }

void MPxNode::setMPSafe(bool flag)
{
    if (record_)
        record_->mpSafe = flag;
}

// Outside a type's initialize there is no type to add to, as in Maya.
MStatus MPxNode::addAttribute(const MObject& attribute)
{
    Attribute* a = Access::attribute(attribute);
    mayahost::NodeType* type = mayahost::currentlyInitializing();
    if (!a || !type || a->owner != type)
        return MS::kInvalidParameter;
    if (a->added)
        return MS::kFailure;  // Maya refuses to add an attribute twice
    a->added = true;
    return MS::kSuccess;
}

MStatus MPxNode::attributeAffects(const MObject& whenChanges, const MObject& isAffected)
{
    Attribute* input = Access::attribute(whenChanges);
    Attribute* output = Access::attribute(isAffected);
    mayahost::NodeType* type = mayahost::currentlyInitializing();
    if (!input || !output || !type || input->owner != type || output->owner != type)
        return MS::kInvalidParameter;
    if (std::find(input->affects.begin(), input->affects.end(), output) == input->affects.end())
        input->affects.push_back(output);
    output->computed = true;
    return MS::kSuccess;
}

// ---------------------------------------------------------------------------
// MFnAttribute

MFnAttribute::MFnAttribute(const MObject& object, MStatus* ReturnStatus) : attribute_(Access::attribute(object))
{
    if (ReturnStatus) *ReturnStatus = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
}

MObject MFnAttribute::object(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ ? Access::object(attribute_) : MObject();
}

MString MFnAttribute::name(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ ? MString(attribute_->longName.c_str()) : MString();
}

MString MFnAttribute::shortName(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ ? MString(attribute_->shortName.c_str()) : MString();
}

namespace {
bool getFlag(const Attribute* a, bool mayahost::Flags::*flag, MStatus* ReturnStatus)
{
    if (ReturnStatus) *ReturnStatus = a ? MS::kSuccess : MS::kInvalidParameter;
    return a ? a->flags.*flag : false;
}

MStatus setFlag(Attribute* a, const char* call, bool mayahost::Flags::*flag, bool state)
{
    if (!a)
        return MS::kInvalidParameter;
    if (mayahost::faultInjected(a->longName, call))
        return MS::kFailure;
    a->flags.*flag = state;
    return MS::kSuccess;
}
}  // namespace

bool MFnAttribute::isReadable(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::readable, s); }
bool MFnAttribute::isWritable(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::writable, s); }
bool MFnAttribute::isConnectable(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::connectable, s); }
bool MFnAttribute::isStorable(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::storable, s); }
bool MFnAttribute::isKeyable(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::keyable, s); }
bool MFnAttribute::isHidden(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::hidden, s); }
bool MFnAttribute::isUsedAsColor(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::usedAsColor, s); }
bool MFnAttribute::isArray(MStatus* s) const { return getFlag(attribute_, &mayahost::Flags::array, s); }

MStatus MFnAttribute::setReadable(bool v) { return setFlag(attribute_, "setReadable", &mayahost::Flags::readable, v); }
MStatus MFnAttribute::setWritable(bool v) { return setFlag(attribute_, "setWritable", &mayahost::Flags::writable, v); }
MStatus MFnAttribute::setConnectable(bool v) { return setFlag(attribute_, "setConnectable", &mayahost::Flags::connectable, v); }
MStatus MFnAttribute::setStorable(bool v) { return setFlag(attribute_, "setStorable", &mayahost::Flags::storable, v); }
MStatus MFnAttribute::setKeyable(bool v) { return setFlag(attribute_, "setKeyable", &mayahost::Flags::keyable, v); }
MStatus MFnAttribute::setHidden(bool v) { return setFlag(attribute_, "setHidden", &mayahost::Flags::hidden, v); }
MStatus MFnAttribute::setUsedAsColor(bool v) { return setFlag(attribute_, "setUsedAsColor", &mayahost::Flags::usedAsColor, v); }
MStatus MFnAttribute::setArray(bool v) { return setFlag(attribute_, "setArray", &mayahost::Flags::array, v); }

// ---------------------------------------------------------------------------
// Attribute creation

namespace {
// A new attribute joins the type being registered, in creation order.
Attribute* newAttribute(const MString& fullName, const MString& briefName, AttrKind kind)
{
    std::unique_ptr<Attribute> a(new Attribute);
    a->longName = fullName.asChar();
    a->shortName = briefName.asChar();
    a->kind = kind;
    mayahost::NodeType* type = mayahost::currentlyInitializing();
    if (!type)
        return mayahost::adoptOrphan(std::move(a));
    a->owner = type;
    a->creationIndex = static_cast<int>(type->attributes.size());
    type->attributes.push_back(std::move(a));
    return type->attributes.back().get();
}

MObject failCreate(Attribute*& attached, MStatus* ReturnStatus, MStatus::MStatusCode code)
{
    attached = nullptr;
    if (ReturnStatus) *ReturnStatus = code;
    return MObject::kNullObj;
}

// Ties a child to its new compound parent; the child must be free and of the
// same type under registration.
bool adopt(Attribute* parent, Attribute* child)
{
    if (!child || child->parent || child->owner != parent->owner)
        return false;
    child->parent = parent;
    child->up = parent;
    parent->children.push_back(child);
    return true;
}

void setDefaultTriple(Attribute* a, float x, float y, float z)
{
    a->defaultValue[0] = x;
    a->defaultValue[1] = y;
    a->defaultValue[2] = z;
    // A numeric compound's default is its children's.
    for (std::size_t i = 0; i < a->children.size() && i < 3; ++i)
        a->children[i]->defaultValue[0] = a->defaultValue[i];
}
}  // namespace

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName,
                                    MFnNumericData::Type unitType, double defaultValue, MStatus* ReturnStatus)
{
    if (mayahost::faultInjected(fullName.asChar(), "create"))
        return failCreate(attribute_, ReturnStatus, MS::kFailure);
    AttrKind kind;
    if (unitType == MFnNumericData::kFloat)
        kind = AttrKind::Float;
    else if (unitType == MFnNumericData::kBoolean)
        kind = AttrKind::Boolean;
    else  // this stand-in keeps only the types the plug-in uses
        return failCreate(attribute_, ReturnStatus, MS::kNotImplemented);
    attribute_ = newAttribute(fullName, briefName, kind);
    attribute_->defaultValue[0] = kind == AttrKind::Boolean ? (defaultValue != 0.0 ? 1.0f : 0.0f)
                                                            : static_cast<float>(defaultValue);
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return Access::object(attribute_);
}

MObject MFnNumericAttribute::create(const MString& fullName, const MString& briefName, const MObject& child1,
                                    const MObject& child2, const MObject& child3, MStatus* ReturnStatus)
{
    if (mayahost::faultInjected(fullName.asChar(), "create"))
        return failCreate(attribute_, ReturnStatus, MS::kFailure);
    Attribute* c[3] = {Access::attribute(child1), Access::attribute(child2), Access::attribute(child3)};
    for (Attribute* child : c)
        if (!child || child->kind != AttrKind::Float || child->parent)
            return failCreate(attribute_, ReturnStatus, MS::kInvalidParameter);
    attribute_ = newAttribute(fullName, briefName, AttrKind::Compound);
    for (int i = 0; i < 3; ++i) {
        adopt(attribute_, c[i]);
        c[i]->component = i;
        attribute_->defaultValue[i] = c[i]->defaultValue[0];
    }
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return Access::object(attribute_);
}

MObject MFnNumericAttribute::createAddr(const MString& fullName, const MString& briefName, void* defaultValue,
                                        MStatus* ReturnStatus)
{
    if (mayahost::faultInjected(fullName.asChar(), "create"))
        return failCreate(attribute_, ReturnStatus, MS::kFailure);
    attribute_ = newAttribute(fullName, briefName, AttrKind::Address);
    attribute_->defaultAddress = defaultValue;
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return Access::object(attribute_);
}

MObject MFnNumericAttribute::createColor(const MString& fullName, const MString& briefName, MStatus* ReturnStatus)
{
    MStatus s;
    MObject r = create(fullName + "R", briefName + "r", MFnNumericData::kFloat, 0.0, &s);
    MObject g = create(fullName + "G", briefName + "g", MFnNumericData::kFloat, 0.0, &s);
    MObject b = create(fullName + "B", briefName + "b", MFnNumericData::kFloat, 0.0, &s);
    MObject compound = create(fullName, briefName, r, g, b, ReturnStatus);
    if (attribute_)
        attribute_->flags.usedAsColor = true;
    return compound;
}

MObject MFnNumericAttribute::createPoint(const MString& fullName, const MString& briefName, MStatus* ReturnStatus)
{
    MStatus s;
    MObject x = create(fullName + "X", briefName + "x", MFnNumericData::kFloat, 0.0, &s);
    MObject y = create(fullName + "Y", briefName + "y", MFnNumericData::kFloat, 0.0, &s);
    MObject z = create(fullName + "Z", briefName + "z", MFnNumericData::kFloat, 0.0, &s);
    return create(fullName, briefName, x, y, z, ReturnStatus);
}

MFnNumericData::Type MFnNumericAttribute::unitType(MStatus* ReturnStatus) const
{
    if (ReturnStatus) *ReturnStatus = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    if (!attribute_) return MFnNumericData::kInvalid;
    switch (attribute_->kind) {
    case AttrKind::Float: return MFnNumericData::kFloat;
    case AttrKind::Boolean: return MFnNumericData::kBoolean;
    case AttrKind::Compound: return MFnNumericData::k3Float;
    case AttrKind::Address: return MFnNumericData::kAddr;
    default: return MFnNumericData::kInvalid;
    }
}

namespace {
MStatus setScalarDefault(Attribute* a, double value)
{
    if (!a || (a->kind != AttrKind::Float && a->kind != AttrKind::Boolean))
        return MS::kInvalidParameter;
    if (mayahost::faultInjected(a->longName, "setDefault"))
        return MS::kFailure;
    a->defaultValue[0] = a->kind == AttrKind::Boolean ? (value != 0.0 ? 1.0f : 0.0f) : static_cast<float>(value);
    return MS::kSuccess;
}

MStatus setTripleDefault(Attribute* a, double x, double y, double z)
{
    if (!a || a->kind != AttrKind::Compound)
        return MS::kInvalidParameter;
    if (mayahost::faultInjected(a->longName, "setDefault"))
        return MS::kFailure;
    setDefaultTriple(a, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
    return MS::kSuccess;
}

MStatus setLimit(Attribute* a, const char* call, mayahost::Limit Attribute::*limit, int count, double x,
                 double y = 0.0, double z = 0.0)
{
    if (!a || a->valueCount() != count)
        return MS::kInvalidParameter;
    if (mayahost::faultInjected(a->longName, call))
        return MS::kFailure;
    mayahost::Limit& l = a->*limit;
    l.set = true;
    l.value[0] = x;
    l.value[1] = y;
    l.value[2] = z;
    return MS::kSuccess;
}
}  // namespace

MStatus MFnNumericAttribute::setDefault(bool value) { return setScalarDefault(attribute_, value ? 1.0 : 0.0); }
MStatus MFnNumericAttribute::setDefault(int value) { return setScalarDefault(attribute_, value); }
MStatus MFnNumericAttribute::setDefault(float value) { return setScalarDefault(attribute_, value); }
MStatus MFnNumericAttribute::setDefault(double value) { return setScalarDefault(attribute_, value); }
// Two-component numerics are not kept by this stand-in.
MStatus MFnNumericAttribute::setDefault(int, int) { return MS::kNotImplemented; }
MStatus MFnNumericAttribute::setDefault(float, float) { return MS::kNotImplemented; }
MStatus MFnNumericAttribute::setDefault(double, double) { return MS::kNotImplemented; }
MStatus MFnNumericAttribute::setDefault(int x, int y, int z) { return setTripleDefault(attribute_, x, y, z); }
MStatus MFnNumericAttribute::setDefault(float x, float y, float z) { return setTripleDefault(attribute_, x, y, z); }
MStatus MFnNumericAttribute::setDefault(double x, double y, double z) { return setTripleDefault(attribute_, x, y, z); }

MStatus MFnNumericAttribute::setMin(double v) { return setLimit(attribute_, "setMin", &Attribute::hardMin, 1, v); }
MStatus MFnNumericAttribute::setMin(double, double) { return MS::kNotImplemented; }
MStatus MFnNumericAttribute::setMin(double x, double y, double z)
{
    return setLimit(attribute_, "setMin", &Attribute::hardMin, 3, x, y, z);
}
MStatus MFnNumericAttribute::setMax(double v) { return setLimit(attribute_, "setMax", &Attribute::hardMax, 1, v); }
MStatus MFnNumericAttribute::setMax(double, double) { return MS::kNotImplemented; }
MStatus MFnNumericAttribute::setMax(double x, double y, double z)
{
    return setLimit(attribute_, "setMax", &Attribute::hardMax, 3, x, y, z);
}
MStatus MFnNumericAttribute::setSoftMin(double v)
{
    return setLimit(attribute_, "setSoftMin", &Attribute::softMin, 1, v);
}
MStatus MFnNumericAttribute::setSoftMax(double v)
{
    return setLimit(attribute_, "setSoftMax", &Attribute::softMax, 1, v);
}

bool MFnNumericAttribute::hasMin(MStatus* s) const
{
    if (s) *s = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ && attribute_->hardMin.set;
}
bool MFnNumericAttribute::hasMax(MStatus* s) const
{
    if (s) *s = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ && attribute_->hardMax.set;
}
bool MFnNumericAttribute::hasSoftMin(MStatus* s) const
{
    if (s) *s = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ && attribute_->softMin.set;
}
bool MFnNumericAttribute::hasSoftMax(MStatus* s) const
{
    if (s) *s = attribute_ ? MS::kSuccess : MS::kInvalidParameter;
    return attribute_ && attribute_->softMax.set;
}

// ---------------------------------------------------------------------------
// MFnLightDataAttribute

MObject MFnLightDataAttribute::create(const MString& fullName, const MString& briefName, const MObject& direction,
                                      const MObject& intensity, const MObject& ambient, const MObject& diffuse,
                                      const MObject& specular, const MObject& shadowFraction,
                                      const MObject& preShadowIntensity, const MObject& blindData,
                                      MStatus* ReturnStatus)
{
    if (mayahost::faultInjected(fullName.asChar(), "create"))
        return failCreate(attribute_, ReturnStatus, MS::kFailure);
    Attribute* c[8] = {Access::attribute(direction),      Access::attribute(intensity),
                       Access::attribute(ambient),        Access::attribute(diffuse),
                       Access::attribute(specular),       Access::attribute(shadowFraction),
                       Access::attribute(preShadowIntensity), Access::attribute(blindData)};
    // Direction and intensity are three-float compounds, the switches booleans,
    // the two fractions floats and the blind data an address, in this order.
    const AttrKind expected[8] = {AttrKind::Compound, AttrKind::Compound, AttrKind::Boolean, AttrKind::Boolean,
                                  AttrKind::Boolean,  AttrKind::Float,    AttrKind::Float,   AttrKind::Address};
    for (int i = 0; i < 8; ++i)
        if (!c[i] || c[i]->kind != expected[i] || c[i]->parent)
            return failCreate(attribute_, ReturnStatus, MS::kInvalidParameter);
    attribute_ = newAttribute(fullName, briefName, AttrKind::LightData);
    for (Attribute* child : c)
        adopt(attribute_, child);
    if (ReturnStatus) *ReturnStatus = MS::kSuccess;
    return Access::object(attribute_);
}

MStatus MFnLightDataAttribute::setDefault(float dirX, float dirY, float dirZ, float intR, float intG, float intB,
                                          bool ambient, bool diffuse, bool specular, float shadowFraction,
                                          float preShadowIntensity, void* blindData)
{
    if (!attribute_ || attribute_->kind != AttrKind::LightData)
        return MS::kInvalidParameter;
    if (mayahost::faultInjected(attribute_->longName, "setDefault"))
        return MS::kFailure;
    mayahost::LightDefault& d = attribute_->lightDefault;
    d.set = true;
    d.direction[0] = dirX;
    d.direction[1] = dirY;
    d.direction[2] = dirZ;
    d.intensity[0] = intR;
    d.intensity[1] = intG;
    d.intensity[2] = intB;
    d.ambient = ambient;
    d.diffuse = diffuse;
    d.specular = specular;
    d.shadowFraction = shadowFraction;
    d.preShadowIntensity = preShadowIntensity;
    d.blindData = blindData;
    return MS::kSuccess;
}

// ---------------------------------------------------------------------------
// MFnPlugin

MFnPlugin::MFnPlugin(MObject& object, const char* vendor, const char* version, const char* requiredApiVersion,
                     MStatus* ReturnStatus)
    : plugin_(mayahost::pluginOf(object)), vendor_(vendor), version_(version), apiVersion_(requiredApiVersion)
{
    if (plugin_)
        plugin_->functionSets.push_back({vendor_.asChar(), version_.asChar(), apiVersion_.asChar()});
    if (ReturnStatus) *ReturnStatus = plugin_ ? MS::kSuccess : MS::kInvalidParameter;
}

MFnPlugin::~MFnPlugin() {}

MString MFnPlugin::vendor(MStatus* s) const
{
    if (s) *s = MS::kSuccess;
    return vendor_;
}
MString MFnPlugin::version(MStatus* s) const
{
    if (s) *s = MS::kSuccess;
    return version_;
}
MString MFnPlugin::apiVersion(MStatus* s) const
{
    if (s) *s = MS::kSuccess;
    return apiVersion_;
}

MStatus MFnPlugin::registerNode(const MString& typeName, const MTypeId& typeId, MCreatorFunction creatorFunction,
                                MInitializeFunction initFunction, MPxNode::Type type,
                                const MString* classification)
{
    // A kind outside the enumeration (a plug-in built against another numbering)
    // is refused rather than registered as something it is not.
    if (!creatorFunction || !initFunction || !mayahost::nodeKindName(type))
        return MS::kInvalidParameter;
    std::unique_ptr<mayahost::NodeType> t(new mayahost::NodeType);
    t->name = typeName.asChar();
    t->id = typeId.id();
    t->kind = type;
    t->classification = classification ? classification->asChar() : "";
    t->creator = creatorFunction;
    t->initialize = initFunction;
    MStatus status = mayahost::registerType(std::move(t));
    if (status && plugin_)
        plugin_->registeredTypes.push_back(typeName.asChar());
    return status;
}

MStatus MFnPlugin::deregisterNode(const MTypeId& typeId)
{
    if (!mayahost::findTypeById(typeId.id())) {
        std::cerr << "// Error: deregisterNode: no node type with id 0x" << std::hex << typeId.id() << std::dec
                  << " is registered //" << std::endl;
        return MS::kFailure;
    }
    mayahost::deregisterType(typeId.id());
    return MS::kSuccess;
}

// ---------------------------------------------------------------------------
// MGlobal

// The stand-in has no MEL interpreter and no user interface: it records each
// command with its flags and reports success, as Maya does for a command that
// runs without error.
MStatus MGlobal::executeCommand(const MString& command, bool displayEnabled, bool undoEnabled)
{
    mayahost::recordCommand(command.asChar(), displayEnabled, undoEnabled);
    return MS::kSuccess;
}

MStatus MGlobal::executeCommand(const MString& command, int& result, bool displayEnabled, bool undoEnabled)
{
    result = 0;
    return executeCommand(command, displayEnabled, undoEnabled);
}

MStatus MGlobal::executeCommand(const MString& command, double& result, bool displayEnabled, bool undoEnabled)
{
    result = 0.0;
    return executeCommand(command, displayEnabled, undoEnabled);
}

MStatus MGlobal::executeCommand(const MString& command, MString& result, bool displayEnabled, bool undoEnabled)
{
    result = "";
    return executeCommand(command, displayEnabled, undoEnabled);
}

void MGlobal::displayInfo(const MString& text) { std::cerr << "// " << text.asChar() << " //" << std::endl; }
void MGlobal::displayWarning(const MString& text)
{
    std::cerr << "// Warning: " << text.asChar() << " //" << std::endl;
}
void MGlobal::displayError(const MString& text) { std::cerr << "// Error: " << text.asChar() << " //" << std::endl; }
