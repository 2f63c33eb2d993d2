// Maya stand-in: MArrayDataHandle, a cursor over the elements of an array value.
#ifndef MAYA_STANDIN_MARRAYDATAHANDLE_H
#define MAYA_STANDIN_MARRAYDATAHANDLE_H

#include <maya/MDataHandle.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>
#include <maya/standin/DataLayout.h>

class MDataBlock;
namespace mayahost { struct Access; }

class MAYA_STANDIN_API MArrayDataHandle {
public:
    MArrayDataHandle() : array_(0), attribute_(0), block_(0), position_(0) {}

    unsigned elementCount(MStatus* ReturnStatus = NULL)
    {
        if (ReturnStatus) *ReturnStatus = array_ ? MS::kSuccess : MS::kInvalidParameter;
        return array_ ? static_cast<unsigned>(array_->count) : 0u;
    }
    unsigned elementIndex(MStatus* ReturnStatus = NULL);
    // The element the cursor stands on; the cursor starts on the first one.
    MDataHandle inputValue(MStatus* ReturnStatus = NULL)
    {
        if (!MAYA_STANDIN_EXPECTED(array_ && position_ < array_->count))
            return MDataHandle::invalid(ReturnStatus);
        if (ReturnStatus) *ReturnStatus = MS::kSuccess;
        mayahost::Value* values = array_->element(position_);
        return MDataHandle(values, values, attribute_, block_);
    }
    MDataHandle outputValue(MStatus* ReturnStatus = NULL) { return inputValue(ReturnStatus); }
    // Moves to the next element; fails (and stays past the end) after the last.
    MStatus next()
    {
        if (!array_)
            return MS::kFailure;
        // Test hook: the host stops delivering elements early.
        if (array_->nextFailsAfter >= 0 && position_ + 1 >= static_cast<unsigned>(array_->nextFailsAfter))
            return MS::kFailure;
        if (position_ + 1 < array_->count) {
            ++position_;
            return MS::kSuccess;
        }
        position_ = static_cast<unsigned>(array_->count);
        return MS::kFailure;
    }
    MStatus jumpToElement(unsigned index);
    MStatus jumpToArrayElement(unsigned position);

private:
    friend struct mayahost::Access;
    friend class MDataBlock;
    MArrayDataHandle(mayahost::ArrayData* array, const mayahost::AttrPlace* attribute, mayahost::BlockData* block)
        : array_(array), attribute_(attribute), block_(block), position_(0)
    {
    }
    mayahost::ArrayData* array_;
    const mayahost::AttrPlace* attribute_;
    mayahost::BlockData* block_;
    unsigned position_;
};

#endif
