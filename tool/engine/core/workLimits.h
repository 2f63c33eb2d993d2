// The tool's limits on what one request or one render may ask for. Each is
// checked before any work starts, and a refusal names the field and the limit,
// so that one bad request cannot hang a pipeline or exhaust the machine.
#ifndef COOLWARM_TOOL_WORKLIMITS_H
#define COOLWARM_TOOL_WORKLIMITS_H

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <string>

namespace cwtool {

// `shade`: bytes in one request line (the newline not counted).
constexpr std::size_t kMaxLineBytes = 1 << 20;
// `shade`: lights in one request: entries of "lights", names in the shader's
// light list, elements of the node's lightDataArray.
constexpr int kMaxLights = 256;
// `shade`: samples one light offers per call ("samples" of an area light, or
// the length of a listed light's "samples").
constexpr int kMaxLightSamples = 1024;

// An OBJ file's size, at most (1 GiB).
constexpr std::size_t kMaxObjBytes = std::size_t(1) << 30;

// `render`: each renderer's picture is at most this wide and this high...
constexpr int kMaxImageSide = 16384;
// ...and at most this many pixels (8192 x 8192).
constexpr long long kMaxImagePixels = 8192LL * 8192LL;

// Numbers that shading takes are single precision: finite and no larger in
// magnitude than the largest float.
inline bool isSingle(double v) { return std::isfinite(v) && std::fabs(v) <= static_cast<double>(FLT_MAX); }
// The complaint about a number, as written, that is not.
inline std::string notSingle(const std::string& number)
{
    return number + " is not a finite single-precision number (largest magnitude 3.40282347e+38)";
}

// Refuses, with InputError naming --size and the limit, a render of `panels`
// pictures of width x height each that exceeds the limits above or whose
// buffers (`bytesPerStoredPixel` in the file: 3 for 8-bit, 6 for half float)
// would not fit in the memory this process may still take.
void checkRenderSize(int width, int height, int panels, int bytesPerStoredPixel);

// Bytes this process may still allocate: the least of the memory the system
// has available, the room left under its address-space and data limits, and
// under its control group's limit. Unknown parts count as unlimited.
unsigned long long availableMemory();

}  // namespace cwtool

#endif
