// Internal to scene/: the arrays of an OBJ file as the OBJ library reads them,
// either read by the library or parsed here, on every core, for the plain files
// most programs write.
#ifndef COOLWARM_TOOL_OBJPARSE_H
#define COOLWARM_TOOL_OBJPARSE_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace cwtool {

// The OBJ library is built in double precision, so that a model far from the
// origin keeps its shape until loading recentres it.
using ObjReal = double;

struct ObjArrays {
    std::vector<ObjReal> vertices;  // x, y, z of each v line
    std::vector<ObjReal> normals;   // x, y, z of each vn line
    struct Corner {
        int vertex;  // zero-based
        int normal;  // zero-based; -1: none given
        bool operator==(const Corner& o) const { return vertex == o.vertex && normal == o.normal; }
    };
    // Three a triangle, in the file's order; a quad is split across its
    // shorter diagonal, as the library splits it.
    std::vector<Corner> corners;
};

// Parses the text of a plain OBJ file on `threads` threads (0: every core).
// Plain: lines of v (3 or more decimal numbers, each a finite single-precision
// value), vn (3 or more), vt, f (3 or 4 corners v, v/t, v//n or v/t/n of
// positive indices to elements that exist), o, g, s, usemtl and mtllib, blank
// lines and whole-line comments, ended by \n or \r\n. Returns false for
// anything else: the library and the file check read such a file, and report
// its faults.
bool parsePlainObj(const std::string& text, int threads, ObjArrays& out);

// The same, for a file handed over in pieces of whole lines (as it is read),
// so that its whole text is never held: add() each piece in turn to the same
// arrays, then finish(). Both return false as soon as the file is known not
// to be plain; the arrays then hold nothing of use.
class PlainObjParser {
public:
    // `fileBytes`: the file's size, when known, so that room is made for
    // its arrays once.
    explicit PlainObjParser(int threads, std::size_t fileBytes = 0);
    ~PlainObjParser();
    PlainObjParser(const PlainObjParser&) = delete;
    PlainObjParser& operator=(const PlainObjParser&) = delete;
    bool add(const char* begin, const char* end, ObjArrays& out);
    bool finish(const ObjArrays& out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The library's reading of a file's text, triangulated, with no material text:
// an mtllib line names a file that is never opened (materials are not used).
// Throws InputError naming `what` when it cannot read it.
ObjArrays readObjWithLibrary(const std::string& text, const std::string& what);

}  // namespace cwtool

#endif
