// Maya stand-in: MDataBlock, the values of one node for one evaluation.
#ifndef MAYA_STANDIN_MDATABLOCK_H
#define MAYA_STANDIN_MDATABLOCK_H

#include <maya/MArrayDataHandle.h>
#include <maya/MDataHandle.h>
#include <maya/MObject.h>
#include <maya/MPlug.h>
#include <maya/MStatus.h>
#include <maya/MTypes.h>

namespace mayahost { struct Access; struct DataBlockImpl; }

class MAYA_STANDIN_API MDataBlock {
public:
    MDataHandle inputValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MDataHandle inputValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MDataHandle outputValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MArrayDataHandle inputArrayValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MArrayDataHandle inputArrayValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MArrayDataHandle outputArrayValue(const MPlug& plug, MStatus* ReturnStatus = NULL);
    MArrayDataHandle outputArrayValue(const MObject& attribute, MStatus* ReturnStatus = NULL);
    MStatus setClean(const MPlug& plug);
    MStatus setClean(const MObject& attribute);

private:
    friend struct mayahost::Access;
    explicit MDataBlock(mayahost::DataBlockImpl* impl) : impl_(impl) {}
    mayahost::DataBlockImpl* impl_;
};

#endif
