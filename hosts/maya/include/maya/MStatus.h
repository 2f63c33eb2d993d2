// Maya stand-in: MStatus, the result of every API operation (Foundation library).
#ifndef MAYA_STANDIN_MSTATUS_H
#define MAYA_STANDIN_MSTATUS_H

#include <maya/MTypes.h>

class MString;

class MAYA_STANDIN_FOUNDATION_API MStatus {
public:
    enum MStatusCode {
        kSuccess = 0,
        kFailure,
        kInsufficientMemory,
        kInvalidParameter,
        kLicenseFailure,
        kUnknownParameter,
        kNotImplemented,
        kNotFound,
        kEndOfFile
    };

    MStatus() : code_(kSuccess) {}
    MStatus(MStatusCode code) : code_(code) {}

    bool operator==(const MStatus& other) const { return code_ == other.code_; }
    bool operator==(MStatusCode code) const { return code_ == code; }
    bool operator!=(const MStatus& other) const { return code_ != other.code_; }
    bool operator!=(MStatusCode code) const { return code_ != code; }
    // True on success, so that `if (status)` reads as "it worked".
    operator bool() const { return code_ == kSuccess; }
    bool error() const { return code_ != kSuccess; }
    void clear() { code_ = kSuccess; }

    MStatusCode statusCode() const { return code_; }
    MString errorString() const;
    // Writes the caller's text, then the error string, to stderr.
    void perror(const char* text) const;
    void perror(const MString& text) const;

private:
    MStatusCode code_;
};

typedef MStatus MS;

#endif
