// Maya stand-in: MString, the API's character text (Foundation library). Like
// Maya's, it has no operator+=(char): a character would append its number.
#ifndef MAYA_STANDIN_MSTRING_H
#define MAYA_STANDIN_MSTRING_H

#include <maya/MTypes.h>

#include <string>

class MAYA_STANDIN_FOUNDATION_API MString {
public:
    MString() {}
    MString(const char* text) : text_(text ? text : "") {}
    MString(const MString& other) : text_(other.text_) {}
    ~MString() {}

    MString& operator=(const MString& other) { text_ = other.text_; return *this; }
    MString& operator=(const char* text) { text_ = text ? text : ""; return *this; }

    MString& operator+=(const MString& other) { text_ += other.text_; return *this; }
    MString& operator+=(const char* text) { if (text) text_ += text; return *this; }
    MString& operator+=(int value) { text_ += std::to_string(value); return *this; }
    MString& operator+=(unsigned value) { text_ += std::to_string(value); return *this; }
    MString& operator+=(float value) { text_ += std::to_string(value); return *this; }
    MString& operator+=(double value) { text_ += std::to_string(value); return *this; }

    bool operator==(const MString& other) const { return text_ == other.text_; }
    bool operator==(const char* text) const { return text_ == (text ? text : ""); }
    bool operator!=(const MString& other) const { return text_ != other.text_; }
    bool operator!=(const char* text) const { return !(*this == text); }

    const char* asChar() const { return text_.c_str(); }
    unsigned length() const { return static_cast<unsigned>(text_.size()); }
    unsigned numChars() const { return length(); }

private:
    std::string text_;
};

inline MString operator+(const MString& a, const MString& b) { MString r(a); r += b; return r; }
inline MString operator+(const MString& a, const char* b) { MString r(a); r += b; return r; }
inline MString operator+(const char* a, const MString& b) { MString r(a); r += b; return r; }

#endif
