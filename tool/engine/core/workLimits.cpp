#include "workLimits.h"

#include "errors.h"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

namespace cwtool {

namespace {

const unsigned long long kUnlimited = std::numeric_limits<unsigned long long>::max();

// "Key:  N kB" from a /proc file, in bytes; kUnlimited when absent.
unsigned long long procField(const char* file, const std::string& key)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 1, key + ":") == 0) {
            std::istringstream value(line.substr(key.size() + 1));
            unsigned long long kib = 0;
            if (value >> kib)
                return kib * 1024;
        }
    return kUnlimited;
}

unsigned long long numberIn(const char* file)
{
    std::ifstream in(file);
    unsigned long long n = 0;
    return in >> n ? n : kUnlimited;  // "max" reads as no number
}

// Room under a resource limit, given what is in use.
unsigned long long roomUnder(int resource, unsigned long long used)
{
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kUnlimited;
    return limit.rlim_cur > used ? limit.rlim_cur - used : 0;
}

std::string gib(unsigned long long bytes)
{
    std::ostringstream s;
    s.precision(2);
    s << std::fixed << static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0) << " GiB";
    return s.str();
}

}  // namespace

unsigned long long availableMemory()
{
    unsigned long long room = procField("/proc/meminfo", "MemAvailable");
    const unsigned long long used = procField("/proc/self/status", "VmSize");
    room = std::min(room, roomUnder(RLIMIT_AS, used == kUnlimited ? 0 : used));
    const unsigned long long data = procField("/proc/self/status", "VmData");
    room = std::min(room, roomUnder(RLIMIT_DATA, data == kUnlimited ? 0 : data));
    const unsigned long long groupMax = numberIn("/sys/fs/cgroup/memory.max");
    const unsigned long long groupUsed = numberIn("/sys/fs/cgroup/memory.current");
    if (groupMax != kUnlimited && groupUsed != kUnlimited)
        room = std::min(room, groupMax > groupUsed ? groupMax - groupUsed : 0ULL);
    return room;
}

void checkRenderSize(int width, int height, int panels, int bytesPerStoredPixel)
{
    const std::string size = "--size " + std::to_string(width) + "x" + std::to_string(height);
    if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide)
        throw InputError(size + ": each side is from 1 to " + std::to_string(kMaxImageSide));
    const long long pixels = static_cast<long long>(width) * height;
    if (pixels > kMaxImagePixels)
        throw InputError(size + ": " + std::to_string(pixels) + " pixels, more than the limit of " +
                         std::to_string(kMaxImagePixels) + " (8192x8192) per renderer");
    // The picture, kept as the file stores its pixels, and while the file is
    // encoded: the encoded file and its copy, each at most as large as the
    // uncompressed file.
    const unsigned long long filePixels = static_cast<unsigned long long>(panels * width + (panels - 1) * 2) * height;
    const unsigned long long needed = filePixels * 3ULL * bytesPerStoredPixel;
    const unsigned long long room = availableMemory();
    if (needed > room)
        throw InputError(size + ": the image needs about " + gib(needed) + " of memory, and only " + gib(room) +
                         " is available");
}

}  // namespace cwtool
