// Maya stand-in: MPxNode, the base of every plug-in dependency node.
#ifndef MAYA_STANDIN_MPXNODE_H
#define MAYA_STANDIN_MPXNODE_H

#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

class MDataBlock;
class MDataHandle;
class MDGContext;
class MPlugArray;
namespace mayahost { struct Access; struct NodeRecord; }

class MAYA_STANDIN_API MPxNode {
public:
    enum Type {
        kDependNode,
        kLocatorNode,
        kDeformerNode,
        kManipContainer,
        kSurfaceShape,
        kFieldNode,
        kEmitterNode,
        kSpringNode,
        kIkSolverNode,
        kHwShaderNode,
        kTransformNode,
        kObjectSet,
        kFluidEmitterNode,
        kImagePlaneNode,
        kParticleAttributeMapperNode,
        kLast
    };

    MPxNode();
    // The virtual operations, in the order of their table slots.
    virtual ~MPxNode();
    virtual void postConstructor();
    virtual MStatus compute(const MPlug& plug, MDataBlock& dataBlock);
    virtual bool getInternalValueInContext(const MPlug& plug, MDataHandle& handle, MDGContext& context);
    virtual bool setInternalValueInContext(const MPlug& plug, const MDataHandle& handle, MDGContext& context);
    virtual bool getInternalValue(const MPlug& plug, MDataHandle& handle);
    virtual bool setInternalValue(const MPlug& plug, const MDataHandle& handle);
    virtual int internalArrayCount(const MPlug& plug, const MDGContext& context) const;
    virtual void copyInternalData(MPxNode* source);
    virtual MStatus legalConnection(const MPlug& plug, const MPlug& otherPlug, bool asSrc, bool& isLegal) const;
    virtual MStatus legalDisconnection(const MPlug& plug, const MPlug& otherPlug, bool asSrc, bool& isLegal) const;
    virtual MStatus setDependentsDirty(const MPlug& plug, MPlugArray& plugArray);
    virtual MStatus connectionMade(const MPlug& plug, const MPlug& otherPlug, bool asSrc);
    virtual MStatus connectionBroken(const MPlug& plug, const MPlug& otherPlug, bool asSrc);
    virtual bool isPassiveOutput(const MPlug& plug) const;
    virtual MStatus shouldSave(const MPlug& plug, bool& isSaving);
    virtual MPlug passThroughToOne(const MPlug& plug) const;
    virtual bool passThroughToMany(const MPlug& plug, MPlugArray& plugArray) const;
    virtual Type type() const;
    virtual bool isAbstractClass() const;

    MObject thisMObject() const;

    // Adds an attribute to the node type being registered.
    static MStatus addAttribute(const MObject& attribute);
    // Declares that a change of whenChanges makes isAffected out of date.
    static MStatus attributeAffects(const MObject& whenChanges, const MObject& isAffected);

protected:
    // Tells the renderer that compute may run on several threads at once.
    void setMPSafe(bool flag);

private:
    friend struct mayahost::Access;
    MPxNode(const MPxNode&);
    MPxNode& operator=(const MPxNode&);
    mayahost::NodeRecord* record_;
};

#endif
