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
        const mayahost::AttrPlace* a = mayahost::ApiAccess::place(attribute);
        if (!a || a->nodeSlot < 0 || a->owner != data_->type)
            return MDataHandle::invalid(ReturnStatus);
        if (ReturnStatus) *ReturnStatus = MS::kSuccess;
        mayahost::Value* values = data_->values.data();
        return MDataHandle(values + a->nodeSlot, values, a, data_);
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
        if (!a || a->arrayIndex < 0 || a->owner != data_->type) {
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
    explicit MDataBlock(mayahost::BlockData* data) : data_(data) {}
    mayahost::BlockData* data_;
};

#endif
