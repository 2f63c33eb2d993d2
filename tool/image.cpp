#include "image.h"

#include "errors.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
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

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file being written, for a signal handler to remove.
char partialPath[4096];
volatile std::sig_atomic_t partialSet = 0;

void onSignal(int signal)
{
    if (partialSet)
        unlink(partialPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

float srgbEncode(float linear)
{
    if (!(linear > 0.0f))
        return 0.0f;
    if (linear >= 1.0f)
        return 1.0f;
    return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

OIIO::ImageSpec imageSpec(const Image& image, bool linear, const std::string& description)
{
    OIIO::ImageSpec format(image.width, image.height, 3, linear ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::UINT8);
    format.attribute("oiio:ColorSpace", linear ? "Linear" : "sRGB");
    format.attribute("ImageDescription", description);
    format.attribute("Software", "coolwarm preview");
    std::string panels;
    for (const std::string& p : image.panels)
        panels += (panels.empty() ? "" : ",") + p;
    format.attribute("coolwarm:panels", panels);
    return format;
}

// Linear pixels as they are, or sRGB-encoded 8-bit ones.
bool writePixels(OIIO::ImageOutput& out, const std::string& name, const OIIO::ImageSpec& format, const Image& image,
                 bool linear)
{
    bool ok = out.open(name, format);
    if (ok) {
        if (linear) {
            ok = out.write_image(OIIO::TypeDesc::FLOAT, image.rgb.data());
        } else {
            std::vector<unsigned char> bytes(image.rgb.size());
            for (std::size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<unsigned char>(std::lround(255.0f * srgbEncode(image.rgb[i])));
            ok = out.write_image(OIIO::TypeDesc::UINT8, bytes.data());
        }
        ok = out.close() && ok;
    }
    return ok;
}

}  // namespace

std::string encodeImage(const Image& image, const std::string& type, const std::string& description)
{
    const bool linear = isLinear(type);
    const std::string name = "image." + type;
    std::vector<unsigned char> bytes;
    OIIO::Filesystem::IOVecOutput memory(bytes);
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(name);
    if (!out || !out->supports("ioproxy") || !out->set_ioproxy(&memory) ||
        !writePixels(*out, name, imageSpec(image, linear, description), image, linear))
        throw InternalError("cannot encode a " + type + " image: " + (out ? out->geterror() : OIIO::geterror()));
    return std::string(bytes.begin(), bytes.end());
}

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

void writeImage(const std::string& path, const Image& image, const std::string& description)
{
    const std::string ext = extensionOf(path);
    const std::string folder = folderOf(path);
    const std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    // Same folder (so the rename is atomic), same extension (so the writer
    // picks the format), a name no one else uses.
    const std::string temporary = folder + "/." + name + ".part" + std::to_string(getpid()) + "." + ext;

    const bool linear = isLinear(ext);
    const OIIO::ImageSpec format = imageSpec(image, linear, description);

    if (temporary.size() < sizeof partialPath) {
        std::memcpy(partialPath, temporary.c_str(), temporary.size() + 1);
        partialSet = 1;
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    struct Forget {
        ~Forget() { partialSet = 0; }
    } forget;

    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(temporary);
    if (!out)
        throw InputError("--out '" + path + "': cannot write this image type: " + OIIO::geterror());
    if (!writePixels(*out, temporary, format, image, linear)) {
        const std::string why = out->geterror();
        std::remove(temporary.c_str());
        throw InputError("--out '" + path + "': writing failed: " + why);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int err = errno;
        std::remove(temporary.c_str());
        throw InputError("--out '" + path + "': cannot move the image into place: " + std::strerror(err));
    }
}

}  // namespace cwtool
