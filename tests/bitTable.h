// Results compared bit for bit: a float's bits in hex, and a table of such
// lines checked against one committed under tests/tables/, which every target
// must reproduce exactly.
//
// To write the tables anew (after a deliberate change of the shading), run the
// table tests of a native build with COOLWARM_WRITE_TABLES set to a folder,
// check the differences, and copy the files into tests/tables/.
#ifndef COOLWARM_TEST_BIT_TABLE_H
#define COOLWARM_TEST_BIT_TABLE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

inline std::uint32_t bitsOf(float f)
{
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

inline float floatOf(std::uint32_t b)
{
    float f;
    std::memcpy(&f, &b, sizeof f);
    return f;
}

inline std::string hexBits(float f)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(bitsOf(f)));
    return text;
}

// The values of one case as one line: their bits, separated by spaces.
inline std::string bitLine(std::initializer_list<float> values)
{
    std::string line;
    for (float v : values)
        line += (line.empty() ? "" : " ") + hexBits(v);
    return line;
}

// "3e4ccccd (0.2)" for each value of a line, for messages.
inline std::string describeLine(const std::string& line)
{
    std::istringstream in(line);
    std::string word, out;
    while (in >> word) {
        std::ostringstream one;
        one << word << " (" << floatOf(static_cast<std::uint32_t>(std::strtoul(word.c_str(), nullptr, 16))) << ")";
        out += (out.empty() ? "" : "  ") + one.str();
    }
    return out;
}

// Checks `lines` against tests/tables/NAME, whose lines starting with '#' are
// comments; a difference in any bit of any value fails the case.
inline void expectTable(const std::string& name, const std::string& header, const std::vector<std::string>& lines)
{
    if (const char* folder = std::getenv("COOLWARM_WRITE_TABLES")) {
        std::ofstream out(std::string(folder) + "/" + name, std::ios::binary);
        out << "# " << header << "\n";
        for (const std::string& line : lines)
            out << line << "\n";
        ASSERT_TRUE(out.good()) << "cannot write " << folder << "/" << name;
    }
    const std::string path = std::string(COOLWARM_SOURCE_DIR) + "/tests/tables/" + name;
    std::ifstream in(path);
    ASSERT_TRUE(in.good()) << "cannot read " << path;
    std::vector<std::string> expected;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] != '#')
            expected.push_back(line);
    }
    ASSERT_EQ(expected.size(), lines.size()) << path << " holds a different number of cases";
    std::size_t differing = 0, values = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        values += (lines[i].size() + 1) / 9;
        if (lines[i] == expected[i])
            continue;
        if (++differing <= 10)
            ADD_FAILURE() << name << " case " << i << ":\n  expected " << describeLine(expected[i])
                          << "\n  computed " << describeLine(lines[i]);
    }
    EXPECT_EQ(differing, 0u) << "cases of " << name << " that differ in at least one bit";
    if (differing == 0)
        std::cout << name << ": " << lines.size() << " cases, " << values << " values, bit-exact\n";
}

#endif
