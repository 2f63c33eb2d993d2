#include "objParse.h"

#include "onThreads.h"

#include "core/errors.h"
#include "core/workLimits.h"

#include <tiny_obj_loader.h>


#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <type_traits>

namespace cwtool {

static_assert(std::is_same<tinyobj::real_t, ObjReal>::value, "the parser reads numbers as the library does");

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as strtod reads it whole, in the characters the file check
// allows: [+-] (digits [. digits] | . digits) [(e|E) [+-] digits]; and its
// value as the library reads it, operation for operation, so that both give
// the same float. False for anything else, and for an exponent past the
// library's reach. One pass over the number.
bool decimalValue(const char* p, const char* q, double& result)
{
    static const double tenths[] = {1.0, 0.1, 0.01, 0.001, 0.0001, 0.00001, 0.000001, 0.0000001};
    bool negative = false;
    if (p < q && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    const char* start = p;
    double mantissa = 0.0;
    while (p < q && isDigit(*p)) {
        mantissa *= 10;
        mantissa += static_cast<int>(*p++ - '0');
    }
    bool digits = p > start;
    if (p < q && *p == '.') {
        const char* fraction = p + 1;
        for (int read = 1; ++p < q && isDigit(*p); ++read)
            mantissa += static_cast<int>(*p - '0') * (read < 8 ? tenths[read] : std::pow(10.0, -read));
        digits = digits || p > fraction;
    }
    if (!digits)
        return false;
    int exponent = 0;
    if (p < q && (*p == 'e' || *p == 'E')) {
        ++p;
        bool down = false;
        if (p < q && (*p == '+' || *p == '-'))
            down = *p++ == '-';
        const char* first = p;
        for (; p < q && isDigit(*p); ++p) {
            if (exponent > 2147483647 / 10)
                return false;
            exponent = exponent * 10 + static_cast<int>(*p - '0');
        }
        if (p == first)
            return false;
        if (down)
            exponent = -exponent;
    }
    if (p != q)
        return false;
    result = (negative ? -1 : 1) * (exponent ? std::ldexp(mantissa * std::pow(5.0, exponent), exponent) : mantissa);
    return true;
}

// A number the file check lets through, as the library reads it.
bool readNumber(const char* p, const char* q, ObjReal& value)
{
    double v;
    if (!decimalValue(p, q, v))
        return false;
    // Far from the limits of single precision the library's value tells;
    // near them, the file check's own reading decides too.
    if (!(std::fabs(v) <= static_cast<double>(FLT_MAX)))
        return false;
    if (!(std::fabs(v) < 1e37)) {
        const std::string word(p, q);
        if (!isSingle(std::strtod(word.c_str(), nullptr)))
            return false;
    }
    value = static_cast<ObjReal>(v);
    return true;
}

// A positive index of at most nine digits.
bool readIndex(const char*& p, const char* q, int& index)
{
    const char* start = p;
    int v = 0;
    while (p < q && isDigit(*p) && p - start < 9)
        v = v * 10 + (*p++ - '0');
    if (p == start || (p < q && isDigit(*p)) || v == 0)
        return false;
    index = v - 1;
    return true;
}

// v, v/t, v//n or v/t/n.
bool readCorner(const char* p, const char* q, ObjArrays::Corner& c)
{
    c.normal = -1;
    if (!readIndex(p, q, c.vertex))
        return false;
    if (p == q)
        return true;
    if (*p++ != '/' || p == q)
        return false;
    int unused;
    if (p < q && *p != '/' && !readIndex(p, q, unused))
        return false;
    if (p == q)
        return true;
    return *p++ == '/' && readIndex(p, q, c.normal) && p == q;
}

// One chunk of whole lines: its elements, and its faces of 3 or 4 corners.
struct Chunk {
    std::vector<ObjReal> vertices, normals;
    std::vector<ObjArrays::Corner> corners;
    std::vector<unsigned char> sizes;  // corners of each face
    std::size_t triangles = 0;
    long long ahead = -1;  // the most a face reaches past the vertices before it in the chunk
    int lastNormal = -1;   // the highest normal a face refers to
    bool plain = true;

    // Emptied for the next piece, keeping its memory.
    void clear()
    {
        vertices.clear();
        normals.clear();
        corners.clear();
        sizes.clear();
        triangles = 0;
        ahead = -1;
        lastNormal = -1;
        plain = true;
    }
};

bool keywordIs(const char* p, const char* q, const char* word)
{
    const std::size_t n = std::strlen(word);
    return static_cast<std::size_t>(q - p) == n && std::memcmp(p, word, n) == 0;
}

// Calls word(p, q) for each blank-separated word of [p, e) in turn; false as
// soon as one call is.
template <class Word>
bool forEachWord(const char* p, const char* e, Word word)
{
    for (;;) {
        while (p < e && isBlank(*p))
            ++p;
        if (p == e)
            return true;
        const char* q = p;
        while (q < e && !isBlank(*q))
            ++q;
        if (!word(p, q))
            return false;
        p = q;
    }
}

// Reads the numbers of a v, vn or vt line into `into` (the first three; none for vt).
bool readElements(const char* p, const char* e, int needed, std::vector<ObjReal>* into)
{
    int count = 0;
    const bool read = forEachWord(p, e, [&](const char* w, const char* q) {
        ObjReal value;
        if (!readNumber(w, q, value))
            return false;
        if (into && count < 3)
            into->push_back(value);
        ++count;
        return true;
    });
    return read && count >= needed;
}

bool readFace(const char* p, const char* e, Chunk& c)
{
    ObjArrays::Corner face[4];
    int count = 0;
    if (!forEachWord(p, e, [&](const char* w, const char* q) { return count < 4 && readCorner(w, q, face[count++]); }))
        return false;
    if (count < 3)
        return false;
    const long long before = static_cast<long long>(c.vertices.size() / 3);
    for (int k = 0; k < count; ++k) {
        c.ahead = std::max(c.ahead, face[k].vertex - before);
        c.lastNormal = std::max(c.lastNormal, face[k].normal);
        c.corners.push_back(face[k]);
    }
    c.sizes.push_back(static_cast<unsigned char>(count));
    c.triangles += count - 2;
    return true;
}

void parseChunk(const char* begin, const char* end, Chunk& c)
{
    const std::size_t size = static_cast<std::size_t>(end - begin);
    // Another line end or an end of string within a line reads differently
    // in the library and the file check: a \r other than one before a line's
    // \n, or a \0 anywhere.
    if (std::memchr(begin, '\0', size)) {
        c.plain = false;
        return;
    }
    for (const char* r = begin; (r = static_cast<const char*>(std::memchr(r, '\r', end - r))) != nullptr; ++r)
        if (r + 1 < end && r[1] != '\n') {
            c.plain = false;
            return;
        }
    // So does a comment after a line's words; most files have no comments.
    const bool comments = std::memchr(begin, '#', size) != nullptr;
    for (const char* line = begin; line < end && c.plain;) {
        const char* nl = static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line)));
        const char* e = nl ? nl : end;
        const char* next = nl ? nl + 1 : end;
        if (e > line && e[-1] == '\r')
            --e;
        const char* p = line;
        while (p < e && isBlank(*p))
            ++p;
        line = next;
        if (p == e || *p == '#')
            continue;
        if (comments && std::memchr(p, '#', static_cast<std::size_t>(e - p))) {
            c.plain = false;
            return;
        }
        const char* k = p;
        while (k < e && !isBlank(*k))
            ++k;
        bool ok;
        if (keywordIs(p, k, "v"))
            ok = readElements(k, e, 3, &c.vertices);
        else if (keywordIs(p, k, "vn"))
            ok = readElements(k, e, 3, &c.normals);
        else if (keywordIs(p, k, "vt"))
            ok = readElements(k, e, 1, nullptr);
        else if (keywordIs(p, k, "f"))
            ok = readFace(k, e, c);
        else
            ok = keywordIs(p, k, "o") || keywordIs(p, k, "g") || keywordIs(p, k, "s") ||
                 keywordIs(p, k, "usemtl") || keywordIs(p, k, "mtllib");
        if (!ok)
            c.plain = false;
    }
}

// A quad across its shorter diagonal, computed as the library computes it.
void splitQuad(const ObjArrays::Corner* q, const std::vector<ObjReal>& v, ObjArrays::Corner* out)
{
    const ObjReal* p[4];
    for (int k = 0; k < 4; ++k)
        p[k] = &v[3 * static_cast<std::size_t>(q[k].vertex)];
    const ObjReal e02x = p[2][0] - p[0][0], e02y = p[2][1] - p[0][1], e02z = p[2][2] - p[0][2];
    const ObjReal e13x = p[3][0] - p[1][0], e13y = p[3][1] - p[1][1], e13z = p[3][2] - p[1][2];
    const ObjReal sqr02 = e02x * e02x + e02y * e02y + e02z * e02z;
    const ObjReal sqr13 = e13x * e13x + e13y * e13y + e13z * e13z;
    static const int across02[6] = {0, 1, 2, 0, 2, 3}, across13[6] = {0, 1, 3, 1, 2, 3};
    const int* order = sqr02 < sqr13 ? across02 : across13;
    for (int k = 0; k < 6; ++k)
        out[k] = q[order[k]];
}

// Room for the `added` elements of a piece of `pieceBytes` and, as far as
// that piece tells, for those of the `rest` of the file's bytes, so that a
// large file's arrays are not copied at every piece. At least twice the room
// there was, so that misjudging costs at most one copy of each element on
// average; room reserved and never filled costs no memory.
template <class T>
void makeRoom(std::vector<T>& v, std::size_t added, std::size_t pieceBytes, std::size_t rest)
{
    const std::size_t needed = v.size() + added;
    if (needed <= v.capacity())
        return;
    const double expected = needed + static_cast<double>(added) / std::max<std::size_t>(pieceBytes, 1) * rest * 1.0625;
    v.reserve(std::max({needed, 2 * v.capacity(), static_cast<std::size_t>(expected)}));
}

}  // namespace

struct PlainObjParser::Impl {
    std::size_t threads;
    std::size_t fileBytes, bytesRead = 0;
    std::vector<Chunk> chunks;
    int lastNormal = -1;
    bool plain = true;
};

PlainObjParser::PlainObjParser(int threads, std::size_t fileBytes) : impl_(new Impl)
{
    impl_->threads = threads > 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
    impl_->fileBytes = fileBytes;
}

PlainObjParser::~PlainObjParser() = default;

bool PlainObjParser::add(const char* begin, const char* end, ObjArrays& out)
{
    if (!impl_->plain)
        return false;
    const std::size_t size = static_cast<std::size_t>(end - begin);
    const std::size_t count = std::max<std::size_t>(1, std::min(impl_->threads, size / (256 * 1024)));
    // Chunks of whole lines.
    std::vector<const char*> cuts{begin};
    for (std::size_t i = 1; i < count; ++i) {
        const char* from = std::max(cuts.back(), begin + size * i / count);
        const char* nl = static_cast<const char*>(std::memchr(from, '\n', end - from));
        cuts.push_back(nl ? nl + 1 : end);
    }
    cuts.push_back(end);
    std::vector<Chunk>& chunks = impl_->chunks;
    if (chunks.size() < count)
        chunks.resize(count);
    onThreads(count, [&](std::size_t i) {
        chunks[i].clear();
        parseChunk(cuts[i], cuts[i + 1], chunks[i]);
    });

    std::size_t vertices = out.vertices.size() / 3, normals = 0, triangles = 0;
    std::vector<std::size_t> firstTriangle;
    for (std::size_t i = 0; i < count; ++i) {
        const Chunk& c = chunks[i];
        // A face may use only the vertices before it: the library splits a
        // quad when its group ends, and skips one that reaches further.
        if (!c.plain || c.ahead >= static_cast<long long>(vertices))
            return impl_->plain = false;
        vertices += c.vertices.size() / 3;
        normals += c.normals.size();
        firstTriangle.push_back(out.corners.size() / 3 + triangles);
        triangles += c.triangles;
        impl_->lastNormal = std::max(impl_->lastNormal, c.lastNormal);
    }
    impl_->bytesRead += size;
    const std::size_t rest = impl_->fileBytes > impl_->bytesRead ? impl_->fileBytes - impl_->bytesRead : 0;
    makeRoom(out.vertices, 3 * vertices - out.vertices.size(), size, rest);
    makeRoom(out.normals, normals, size, rest);
    makeRoom(out.corners, 3 * triangles, size, rest);
    for (std::size_t i = 0; i < count; ++i) {
        out.vertices.insert(out.vertices.end(), chunks[i].vertices.begin(), chunks[i].vertices.end());
        out.normals.insert(out.normals.end(), chunks[i].normals.begin(), chunks[i].normals.end());
    }
    out.corners.resize(out.corners.size() + 3 * triangles);
    onThreads(count, [&](std::size_t i) {
        const Chunk& c = chunks[i];
        ObjArrays::Corner* to = out.corners.data() + 3 * firstTriangle[i];
        const ObjArrays::Corner* from = c.corners.data();
        for (unsigned char size : c.sizes) {
            if (size == 3)
                std::copy(from, from + 3, to);
            else
                splitQuad(from, out.vertices, to);
            from += size;
            to += 3 * (size - 2);
        }
    });
    return true;
}

bool PlainObjParser::finish(const ObjArrays& out)
{
    // A face may refer to a normal given after it.
    impl_->plain = impl_->plain && impl_->lastNormal < static_cast<long long>(out.normals.size() / 3);
    std::vector<Chunk>().swap(impl_->chunks);
    return impl_->plain;
}

bool parsePlainObj(const std::string& text, int threads, ObjArrays& out)
{
    out = ObjArrays();
    PlainObjParser parser(threads);
    const bool added = parser.add(text.data(), text.data() + text.size(), out);
    return parser.finish(out) && added;
}

ObjArrays readObjWithLibrary(const std::string& text, const std::string& what)
{
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromString(text, "", config)) {
        std::string why = reader.Error();
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        throw InputError(what + ": not a readable OBJ file: " + (why.empty() ? "parse error" : why));
    }
    ObjArrays a;
    a.vertices = reader.GetAttrib().vertices;
    a.normals = reader.GetAttrib().normals;
    for (const tinyobj::shape_t& shape : reader.GetShapes())
        for (const tinyobj::index_t& idx : shape.mesh.indices)
            a.corners.push_back({idx.vertex_index, idx.normal_index});
    return a;
}

}  // namespace cwtool
