#include "image.h"

#include "errors.h"
#include "output.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace cwtool {

namespace {

std::string extensionOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

bool isLinear(const std::string& ext) { return ext == "exr"; }

float srgbEncode(float linear)
{
    if (!(linear > 0.0f))
        return 0.0f;
    if (linear >= 1.0f)
        return 1.0f;
    return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

}  // namespace

void checkOutputPath(const std::string& path)
{
    const std::string ext = extensionOf(path);
    if (ext != "png" && ext != "tif" && ext != "tiff" && ext != "exr" && ext != "jpg" && ext != "jpeg")
        throw InputError("--out '" + path + "': unknown image type '" + (ext.empty() ? "" : "." + ext) +
                         "' (use .png, .tif, .tiff, .exr or .jpg)");
    const std::string folder = folderOf(path);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw InputError("--out '" + path + "': the folder '" + folder + "' does not exist");
    if (access(folder.c_str(), W_OK) != 0)
        throw InputError("--out '" + path + "': the folder '" + folder + "' is not writable");
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw InputError("--out '" + path + "': is a folder");
}

std::string encodeImage(const Image& image, const std::string& type, const std::string& description)
{
    const bool linear = isLinear(type);
    OIIO::ImageSpec format(image.width, image.height, 3, linear ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::UINT8);
    format.attribute("oiio:ColorSpace", linear ? "Linear" : "sRGB");
    format.attribute("ImageDescription", description);
    format.attribute("Software", "coolwarm preview");
    std::string panels;
    for (const std::string& p : image.panels)
        panels += (panels.empty() ? "" : ",") + p;
    format.attribute("coolwarm:panels", panels);

    // Encoded in memory: the image library's own file writing does not report
    // every failed write, so the file is written by writeFileWhole.
    const std::string name = "image." + type;
    std::vector<unsigned char> bytes;
    OIIO::Filesystem::IOVecOutput memory(bytes);
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(name);
    bool ok = out && out->supports("ioproxy") && out->set_ioproxy(&memory) && out->open(name, format);
    if (ok) {
        if (linear) {
            ok = out->write_image(OIIO::TypeDesc::FLOAT, image.rgb.data());
        } else {
            std::vector<unsigned char> encoded(image.rgb.size());
            for (std::size_t i = 0; i < encoded.size(); ++i)
                encoded[i] = static_cast<unsigned char>(std::lround(255.0f * srgbEncode(image.rgb[i])));
            ok = out->write_image(OIIO::TypeDesc::UINT8, encoded.data());
        }
        ok = out->close() && ok;
    }
    if (!ok)
        throw InternalError("cannot encode a ." + type + " image: " + (out ? out->geterror() : OIIO::geterror()));
    return std::string(bytes.begin(), bytes.end());
}

int storedBytesPerPixel(const std::string& path) { return isLinear(extensionOf(path)) ? 6 : 3; }

void writeImage(const std::string& path, const Image& image, const std::string& description)
{
    writeFileWhole(path, encodeImage(image, extensionOf(path), description), "--out '" + path + "'");
}

}  // namespace cwtool
