// The Foundation library of the Maya stand-in: MString and MStatus, which Maya
// keeps apart from OpenMaya. MString is all inline; MStatus's text is here.
#include <maya/MStatus.h>
#include <maya/MString.h>

#include <iostream>

// ---------------------------------------------------------------------------
// MStatus

MString MStatus::errorString() const
{
    switch (code_) {
    case kSuccess: return "(kSuccess): No error";
    case kFailure: return "(kFailure): Unexpected Internal Failure";
    case kInsufficientMemory: return "(kInsufficientMemory): Insufficient Memory";
    case kInvalidParameter: return "(kInvalidParameter): Object is incompatible with this method";
    case kLicenseFailure: return "(kLicenseFailure): License failure";
    case kUnknownParameter: return "(kUnknownParameter): Unknown parameter";
    case kNotImplemented: return "(kNotImplemented): Not implemented";
    case kNotFound: return "(kNotFound): Object not found";
    case kEndOfFile: return "(kEndOfFile): End of file";
    }
    return "(unknown status)";
}

// Maya prints the caller's text, a separator when there is one, and the error text.
void MStatus::perror(const char* text) const
{
    if (text && *text)
        std::cerr << text << ": ";
    std::cerr << errorString().asChar() << std::endl;
}

void MStatus::perror(const MString& text) const { perror(text.asChar()); }
