// Maya stand-in: MDataBlock, the values of one node for one evaluation.
#ifndef MAYA_STANDIN_MDATABLOCK_H
#define MAYA_STANDIN_MDATABLOCK_H

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <maya/standin/DataLayout.h>

namespace mayahost { struct Access; }

class MAYA_STANDIN_API MDataBlock {
public:
    MDataHandle inputValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    // Only attributes of this node that live in the node itself (not inside an
    // array element) have a value here.
    MDataHandle inputValue(const MObject& attribute, MStatus* ReturnStatus = NULL)
    {
        // valueIn is this block's type only for an attribute of this type that
        // has a value in the node, which the type's layout has placed.
        const mayahost::HostObject* o = mayahost::ApiAccess::object(attribute);
        if (!MAYA_STANDIN_EXPECTED(o && o->valueIn == type_))
            return MDataHandle::invalid(ReturnStatus);
        if (ReturnStatus) *ReturnStatus = MS::kSuccess;
        const mayahost::AttrPlace* a = static_cast<const mayahost::AttrPlace*>(o);
        return MDataHandle(values_->atOffset(a->slotOffset), values_, a, data_);
    }
    MDataHandle outputValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(const MObject& attribute, MStatus* ReturnStatus = NULL)
    {
        return inputValue(attribute, ReturnStatus);
    }
    MArrayDataHandle inputArrayValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MArrayDataHandle inputArrayValue(const MObject& attribute, MStatus* ReturnStatus = NULL)
    {
        const mayahost::AttrPlace* a = mayahost::ApiAccess::place(attribute);
        if (!MAYA_STANDIN_EXPECTED(a && a->arrayIndex >= 0 && a->owner == data_->type)) {
            if (ReturnStatus) *ReturnStatus = MS::kInvalidParameter;
            return MArrayDataHandle();
        }
        if (ReturnStatus) *ReturnStatus = MS::kSuccess;
        return MArrayDataHandle(&data_->arrays[static_cast<std::size_t>(a->arrayIndex)], a, data_);
    }
    MArrayDataHandle outputArrayValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MArrayDataHandle outputArrayValue(const MObject& attribute, MStatus* ReturnStatus = NULL)
    {
        return inputArrayValue(attribute, ReturnStatus);
    }
    MStatus setClean(const MPlug& plug);
    MStatus setClean(const MObject& attribute);

private:
    friend struct mayahost::Access;
    // The type and the values are fixed for as long as a compute runs. A block
    // without a type matches no attribute: it stands in with its own address.
    explicit MDataBlock(mayahost::BlockData* data)
        : data_(data),
          type_(data->type ? data->type : reinterpret_cast<const mayahost::NodeType*>(data)),
          values_(data->values.data())
    {
    }
    mayahost::BlockData* data_;
    const mayahost::NodeType* type_;
    mayahost::Value* values_;
};

#endif
