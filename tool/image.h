// Writing the preview: PNG, TIFF or JPEG with sRGB encoding, EXR linear. The
// image is encoded in memory and written with writeFileWhole, so a failed or
// interrupted run never leaves a half-written image.
#ifndef COOLWARM_TOOL_IMAGE_H
#define COOLWARM_TOOL_IMAGE_H

#include "render.h"

#include <string>

namespace cwtool {

// Throws InputError when the path's type is unknown or its folder cannot take
// a new file; called before rendering.
void checkOutputPath(const std::string& path);

// Bytes a pixel takes in a file of that path's type, before compression.
int storedBytesPerPixel(const std::string& path);

void writeImage(const std::string& path, const Image& image, const std::string& description);

// The image as the bytes of a file of `type` (an extension: "png", "exr", ...).
std::string encodeImage(const Image& image, const std::string& type, const std::string& description);

}  // namespace cwtool

#endif
