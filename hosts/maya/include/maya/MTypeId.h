// Maya stand-in: MTypeId, the unique number of a node type.
#ifndef MAYA_STANDIN_MTYPEID_H
#define MAYA_STANDIN_MTYPEID_H

#include <maya/MTypes.h>

class MAYA_STANDIN_API MTypeId {
public:
    MTypeId() : id_(0) {}
    MTypeId(unsigned id) : id_(id) {}
    MTypeId(const MTypeId& other) : id_(other.id_) {}
    MTypeId& operator=(const MTypeId& other) { id_ = other.id_; return *this; }

    unsigned id() const { return id_; }
    bool operator==(const MTypeId& other) const { return id_ == other.id_; }
    bool operator!=(const MTypeId& other) const { return id_ != other.id_; }

private:
    unsigned id_;
};

#endif
