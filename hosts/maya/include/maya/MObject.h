// Maya stand-in: MObject, an opaque handle on something the host owns (an
// attribute, a node, a plug-in). Copying it copies the handle, not the object.
#ifndef MAYA_STANDIN_MOBJECT_H
#define MAYA_STANDIN_MOBJECT_H

#include <maya/MTypes.h>

namespace mayahost { struct Access; struct ApiAccess; }

class MAYA_STANDIN_API MObject {
public:
    MObject() : ptr_(0) {}
    MObject(const MObject& other) : ptr_(other.ptr_) {}
    ~MObject() {}
    MObject& operator=(const MObject& other) { ptr_ = other.ptr_; return *this; }

    bool isNull() const { return ptr_ == 0; }
    bool operator==(const MObject& other) const { return ptr_ == other.ptr_; }
    bool operator!=(const MObject& other) const { return ptr_ != other.ptr_; }

    static MObject kNullObj;

private:
    friend struct mayahost::Access;
    friend struct mayahost::ApiAccess;
    void* ptr_;
};

#endif
