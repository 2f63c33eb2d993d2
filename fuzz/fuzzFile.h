// The fuzzers that read files: the input written to a file of this process's
// own, removed at exit.
#ifndef COOLWARM_FUZZ_FUZZFILE_H
#define COOLWARM_FUZZ_FUZZFILE_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The path of the file now holding `data`; `suffix` such as ".obj".
inline const std::string& writeFuzzFile(const char* suffix, const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/coolwarm-fuzz-" + std::to_string(getpid()) + suffix;
    static const bool cleanup = std::atexit([] { std::remove(path.c_str()); }) == 0;
    (void)cleanup;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
    return path;
}

#endif
