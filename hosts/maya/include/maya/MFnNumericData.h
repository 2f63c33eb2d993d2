// Maya stand-in: the numeric data types. The numbers differ between Maya versions;
// code must use the names only.
#ifndef MAYA_STANDIN_MFNNUMERICDATA_H
#define MAYA_STANDIN_MFNNUMERICDATA_H

#include <maya/MTypes.h>

class MAYA_STANDIN_API MFnNumericData {
public:
    enum Type {
        kInvalid,
        kBoolean,
        kByte,
        kChar,
        kShort,
        k2Short,
        k3Short,
        kLong,
        kInt = kLong,
        k2Long,
        k2Int = k2Long,
        k3Long,
        k3Int = k3Long,
        kFloat,
        k2Float,
        k3Float,
        kDouble,
        k2Double,
        k3Double,
        kAddr,
        kLast
    };
};

#endif
