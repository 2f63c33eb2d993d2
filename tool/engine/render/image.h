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

// True when a file of that path keeps linear values (EXR), not 8-bit sRGB.
bool isLinearOutput(const std::string& path);

// Sizes the picture and fills it with one linear grey; then storePixel puts
// each pixel's linear colour in as the file will keep it (8-bit sRGB exactly as
// rounding 255 times the sRGB curve, or half floats). Pixels are numbered row
// by row from the top left.
void prepareImage(Image& image, int width, int height, bool linear, float fill);
void storePixel(Image& image, std::size_t pixel, float r, float g, float b);
// The 8-bit sRGB code of one linear value.
unsigned char encodeSrgb(float linear);

// Besides the pixels, the file records the image's panels (coolwarm:panels),
// its look as JSON (coolwarm:look) and its command line (coolwarm:commandLine,
// when there is one) in its metadata.
void writeImage(const std::string& path, const Image& image, const std::string& description);

// True for a path whose extension is an image type the tool reads a look from.
bool isImagePath(const std::string& path);
// The look an image file records; throws InputError naming the file when it
// cannot be read or records none.
Look readImageLook(const std::string& path);

// The image as the bytes of a file of `type` (an extension: "png", "exr", ...).
std::string encodeImage(const Image& image, const std::string& type, const std::string& description);

}  // namespace cwtool

#endif
