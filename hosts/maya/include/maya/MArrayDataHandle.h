// Maya stand-in: MArrayDataHandle, a cursor over the elements of an array value.
#ifndef MAYA_STANDIN_MARRAYDATAHANDLE_H
#define MAYA_STANDIN_MARRAYDATAHANDLE_H

#include <maya/MDataHandle.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

namespace mayahost { struct Access; struct ArrayData; }

class MAYA_STANDIN_API MArrayDataHandle {
public:
    MArrayDataHandle() : array_(0), attribute_(0), block_(0), position_(0) {}

    unsigned elementCount(MStatus* ReturnStatus = NULL);
    unsigned elementIndex(MStatus* ReturnStatus = NULL);
    // The element the cursor stands on; the cursor starts on the first one.
    MDataHandle inputValue(MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(MStatus* ReturnStatus = NULL);
    // Moves to the next element; fails (and stays past the end) after the last.
    MStatus next();
    MStatus jumpToElement(unsigned index);
    MStatus jumpToArrayElement(unsigned position);

private:
    friend struct mayahost::Access;
    MDataHandle element();
    mayahost::ArrayData* array_;
    const mayahost::Attribute* attribute_;
    mayahost::DataBlockImpl* block_;
    unsigned position_;
};

#endif
