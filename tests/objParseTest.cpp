// The OBJ parser against the OBJ library: the same arrays for every plain file
// (test files, generated ones, random mutations), and every other file left to
// the library.
#include "scene/objParse.h"

#include "core/errors.h"
#include "core/fileInput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

using namespace cwtool;

namespace {

std::string tempPath(const std::string& name)
{
    return "/tmp/coolwarm-objparse-" + std::to_string(getpid()) + "-" + name;
}

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool sameBits(const std::vector<ObjReal>& a, const std::vector<ObjReal>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(ObjReal)) == 0);
}

// Parses `text` on 1, 2 and 3 threads; when it is plain, the library must read
// the same arrays from it. Returns whether it was plain.
bool matchesLibrary(const std::string& text, const std::string& label)
{
    ObjArrays one;
    const bool plain = parsePlainObj(text, 1, one);
    for (int threads = 2; threads <= 3; ++threads) {
        ObjArrays more;
        EXPECT_EQ(parsePlainObj(text, threads, more), plain) << label;
        if (plain) {
            EXPECT_TRUE(sameBits(more.vertices, one.vertices) && sameBits(more.normals, one.normals) &&
                        more.corners == one.corners)
                << label << " on " << threads << " threads";
        }
    }
    if (!plain)
        return false;
    ObjArrays library;
    EXPECT_NO_THROW(library = readObjWithLibrary(text, "test")) << label;
    EXPECT_TRUE(sameBits(one.vertices, library.vertices)) << label;
    EXPECT_TRUE(sameBits(one.normals, library.normals)) << label;
    EXPECT_TRUE(one.corners == library.corners) << label;
    return true;
}

// A wavy grid of quads and triangles with normals, texture coordinates,
// groups and numbers written every way the library reads them.
std::string gridText(int side)
{
    std::ostringstream o;
    o << "# a generated grid\nmtllib none.mtl\no grid\n";
    const char* forms[] = {"%.6f", "%.9g", "%.3e", "%+.4f", "%.12f", "%g"};
    int form = 0;
    char buf[64];
    for (int j = 0; j <= side; ++j)
        for (int i = 0; i <= side; ++i) {
            const double x = -1.0 + 2.0 * i / side, z = -1.0 + 2.0 * j / side;
            const double y = 0.3 * std::sin(3.1 * x + 1.7 * z * z);
            o << (i % 7 == 0 ? "v\t" : "v ");
            for (double c : {x, y, z}) {
                std::snprintf(buf, sizeof buf, forms[form++ % 6], c);
                std::string word = buf;
                if (word.compare(0, 2, "0.") == 0 && i % 3 == 0)
                    word.erase(0, 1);  // ".5"
                o << word << ' ';
            }
            o << (i % 5 == 0 ? "1.0\r\n" : "\n");
            std::snprintf(buf, sizeof buf, "vn %.5f 1 %.7f\nvt %.3f %.3f\n", -y, 0.5 * y, x, z);
            o << buf;
        }
    for (int j = 0; j < side; ++j) {
        if (j % 4 == 0)
            o << "g band" << j << "\nusemtl m" << j % 3 << "\ns " << (j % 2 ? "off" : "1") << "\n";
        for (int i = 0; i < side; ++i) {
            const int a = j * (side + 1) + i + 1, b = a + 1, c = a + side + 2, d = a + side + 1;
            switch ((i + j) % 4) {
            case 0: o << "f " << a << " " << b << " " << c << " " << d << "\n"; break;
            case 1: o << "f " << a << "//" << a << " " << b << "//" << b << " " << c << "//" << c << " " << d << "//" << d << "\n"; break;
            case 2: o << "f " << a << "/" << a << "/" << a << " " << b << "/" << b << "/" << b << " " << c << "/" << c << "/" << c << "\n"
                      << "f " << a << "/" << a << " " << c << "/" << c << " " << d << "/" << d << "\n"; break;
            default: o << "  f  " << a << "\t" << b << " " << c << " " << d << "  \n"; break;
            }
        }
    }
    return o.str();
}

// `text` handed to a PlainObjParser in pieces cut at random line ends.
bool parsedInPieces(const std::string& text, int threads, std::mt19937& random, ObjArrays& out)
{
    out = ObjArrays();
    PlainObjParser parser(threads, text.size());
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = std::min(text.size(), from + 1 + random() % 4000);
        const std::size_t nl = text.find('\n', to - 1);
        to = nl == std::string::npos ? text.size() : nl + 1;
        if (!parser.add(text.data() + from, text.data() + to, out))
            return false;
        from = to;
    }
    return parser.finish(out);
}

}  // namespace

TEST(ObjParse, TheProjectsFilesReadAsTheLibraryReadsThem)
{
    std::vector<std::string> files;
    for (const std::string& dir : {std::string(COOLWARM_SOURCE_DIR "/tests/images"),
                                   std::string(COOLWARM_SOURCE_DIR "/fuzz/corpus/objScene")}) {
        DIR* d = opendir(dir.c_str());
        ASSERT_NE(d, nullptr) << dir;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name, path = dir + "/" + name;
            if (name == "." || name == "..")
                continue;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".obj") == 0)
                files.push_back(path);
            else if (DIR* inner = opendir(path.c_str())) {
                while (dirent* f = readdir(inner)) {
                    const std::string n = f->d_name;
                    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".obj") == 0)
                        files.push_back(path + "/" + n);
                }
                closedir(inner);
            } else if (dir.find("corpus") != std::string::npos) {
                files.push_back(path);
            }
        }
        closedir(d);
    }
    int plain = 0, images = 0;
    for (const std::string& f : files) {
        const bool p = matchesLibrary(readText(f), f);
        plain += p;
        if (f.find("tests/images") != std::string::npos) {
            ++images;
            EXPECT_TRUE(p) << f << " is plain";
        }
    }
    EXPECT_GE(images, 3);
    EXPECT_GE(plain, images);
}

TEST(ObjParse, AGeneratedGridReadsAsTheLibraryReadsIt)
{
    // Large enough to be cut into chunks on several threads.
    const std::string text = gridText(220);
    ASSERT_GT(text.size(), 3u * 256 * 1024);
    EXPECT_TRUE(matchesLibrary(text, "grid"));
    ObjArrays a;
    ASSERT_TRUE(parsePlainObj(text, 2, a));
    EXPECT_EQ(a.vertices.size(), 3u * 221 * 221);
    EXPECT_EQ(a.corners.size(), 3u * 2 * 220 * 220);
}

TEST(ObjParse, WhatIsNotPlainIsLeftToTheLibrary)
{
    const std::string head = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nvn 0 0 1\n";
    ObjArrays a;
    EXPECT_TRUE(parsePlainObj(head + "f 1 2 3\n", 1, a));
    for (const char* tail : {"f 1 2 3 4 5\n",       // a polygon
                             "f 1 2\n",             // too few corners
                             "f -1 -2 -3\n",        // relative indices
                             "f 1 2 6\n",           // a vertex that does not exist
                             "f 1//2 2//1 3//1\n",  // a normal that does not exist
                             "f 0 1 2\n",           // index 0
                             "f 1/ 2 3\n",          // an empty index
                             "f 1 2 3 # note\n",    // a comment after the words
                             "f 1 2 3\rv 0 0 0\n",  // a line ended by \r alone
                             "v 1e39 0 0\nf 1 2 3\n", "v nan 0 0\nf 1 2 3\n", "v 0x10 0 0\nf 1 2 3\n",
                             "v 0e500 0 0\nf 1 2 3\n",  // zero to the check, not a number to the library
                             "v 1 2\nf 1 2 3\n",    // too few numbers
                             "l 1 2\nf 1 2 3\n",    // another element
                             "f 1 2 3\nf 1 2 7\nv 0 0 2\nv 0 0 3\n"})  // a vertex used before it is given
        EXPECT_FALSE(parsePlainObj(head + tail, 1, a)) << tail;
    std::string withNul = head + "f 1 2 3\n";
    withNul[3] = '\0';
    EXPECT_FALSE(parsePlainObj(withNul, 1, a));
}

TEST(ObjParse, MutatedFilesReadAsTheLibraryReadsThemWhenPlain)
{
    const std::string base = gridText(3) + "f 1//1 2//2 3//3\nvn 0 1 0\nv -.5e1 +2. 3.25E-1\nf 3 1 2\n";
    const char alphabet[] = " \t\r\n#/-+.eE0123456789fvnogs";
    std::mt19937 random(20261209);
    int plain = 0;
    for (int round = 0; round < 600; ++round) {
        std::string text = base;
        for (int edits = 1 + static_cast<int>(random() % 4); edits > 0; --edits) {
            const std::size_t at = random() % text.size();
            const char c = alphabet[random() % (sizeof alphabet - 1)];
            switch (random() % 3) {
            case 0: text[at] = c; break;
            case 1: text.insert(text.begin() + at, c); break;
            default: text.erase(at, 1); break;
            }
        }
        plain += matchesLibrary(text, "mutation " + std::to_string(round));
    }
    EXPECT_GT(plain, 100) << "many mutations stay plain";
}

// A file read a piece at a time gives what it gives whole, wherever the
// pieces end: faces referring to vertices of earlier pieces, quads split
// across them, normals given after the faces that use them, a fault in a
// later piece.
TEST(ObjParse, AFileInPiecesReadsAsTheWhole)
{
    const std::string grid = gridText(40);
    const std::string later = "f 1//" + std::to_string(41 * 41 + 1) + " 2//1 3//1\nvn 0 0 1\n";
    std::mt19937 random(11);
    for (const std::string& text : {grid, grid + later, grid + "f 1 2 3\nv 1 2\n", grid + "f 1//9999 2 3\n"}) {
        ObjArrays whole;
        const bool plain = parsePlainObj(text, 1, whole);
        for (int threads : {1, 2}) {
            ObjArrays pieces;
            EXPECT_EQ(parsedInPieces(text, threads, random, pieces), plain) << text.substr(grid.size());
            if (plain) {
                EXPECT_TRUE(sameBits(pieces.vertices, whole.vertices) && sameBits(pieces.normals, whole.normals) &&
                            pieces.corners == whole.corners);
            }
        }
    }
    // Once not plain, it stays so.
    PlainObjParser parser(1);
    ObjArrays out;
    const std::string bad = "v 0 0 0 # note\n", good = "v 0 0 0\n";
    EXPECT_FALSE(parser.add(bad.data(), bad.data() + bad.size(), out));
    EXPECT_FALSE(parser.add(good.data(), good.data() + good.size(), out));
    EXPECT_FALSE(parser.finish(out));
}

// Reading a file in pieces hands on whole lines, in order, each piece within
// the size asked for unless one line is longer; its faults are told as when
// reading it whole.
TEST(FileLines, PiecesAreWholeLinesInOrder)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += std::string(1 + i % 37, 'a' + i % 26) + "\n";
    text += std::string(200, 'x') + "\n" + "last line without an end";
    const std::string path = tempPath("lines.txt");
    std::ofstream(path, std::ios::binary) << text;
    for (std::size_t pieceBytes : {16u, 64u, 1000u, 100000u}) {
        std::string joined;
        std::size_t pieces = 0, size = 0;
        const bool done = readRegularFileLines(path, 1 << 20, "--scene 'lines.txt'", pieceBytes,
                                               [&](const char* b, const char* e) {
                                                   const std::string piece(b, e);
                                                   EXPECT_TRUE(joined.size() + piece.size() == text.size() ||
                                                               piece.back() == '\n');
                                                   std::size_t longest = 0;
                                                   for (std::size_t a = 0, z; a < piece.size(); a = z + 1) {
                                                       z = std::min(piece.find('\n', a), piece.size() - 1);
                                                       longest = std::max(longest, z + 1 - a);
                                                   }
                                                   EXPECT_TRUE(piece.size() <= pieceBytes || longest > pieceBytes);
                                                   joined += piece;
                                                   ++pieces;
                                                   return true;
                                               },
                                               &size);
        EXPECT_TRUE(done);
        EXPECT_EQ(joined, text) << pieceBytes;
        EXPECT_EQ(size, text.size());
        EXPECT_GE(pieces, text.size() / (pieceBytes + 200));
    }
    // Stopped by the reader.
    int calls = 0;
    EXPECT_FALSE(readRegularFileLines(path, 1 << 20, "x", 64, [&](const char*, const char*) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
    // An empty file has no pieces.
    const std::string empty = tempPath("empty.txt");
    std::ofstream(empty, std::ios::binary).flush();
    EXPECT_TRUE(readRegularFileLines(empty, 100, "x", 64, [](const char*, const char*) {
        ADD_FAILURE() << "a piece of an empty file";
        return true;
    }));
    auto fault = [](const std::string& p, std::size_t limit) {
        try {
            readRegularFileLines(p, limit, "--scene 'f'", 64, [](const char*, const char*) { return true; });
        } catch (const InputError& e) {
            return std::string(e.what());
        }
        return std::string("no fault");
    };
    EXPECT_NE(fault(path, 100).find("--scene 'f': the file is larger than the limit of 100 bytes"), std::string::npos);
    EXPECT_NE(fault("/tmp", 100).find("--scene 'f': is a folder, not a regular file"), std::string::npos);
    EXPECT_NE(fault(tempPath("missing"), 100).find("cannot open the file"), std::string::npos);
    std::remove(path.c_str());
    std::remove(empty.c_str());
}
