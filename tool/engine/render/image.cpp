#include "image.h"

#include "core/output.h"

#include "core/errors.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/half.h>
#include <OpenImageIO/imageio.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
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

float srgbDecode(unsigned char code)
{
    const float v = static_cast<float>(code) / 255.0f;
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

int srgbCode(float linear) { return static_cast<int>(std::lround(255.0f * srgbEncode(linear))); }

float floatOfBits(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The 8-bit sRGB code of a linear value, exactly srgbCode's, without a power
// per value: the smallest value that reaches each code, found once by bisection
// over the floats in [0, 1], and a coarse table by value that starts each
// lookup at most a few codes below its answer.
class SrgbTable {
public:
    SrgbTable()
    {
        std::uint32_t one;
        const float oneValue = 1.0f;
        std::memcpy(&one, &oneValue, sizeof one);
        threshold_[0] = 0.0f;
        for (int k = 1; k < 256; ++k) {
            std::uint32_t lo = 0, hi = one;  // srgbCode(lo) < k <= srgbCode(hi)
            while (hi - lo > 1) {
                const std::uint32_t mid = lo + (hi - lo) / 2;
                (srgbCode(floatOfBits(mid)) >= k ? hi : lo) = mid;
            }
            threshold_[k] = floatOfBits(hi);
        }
        // A value just below a bucket's start may land in it after rounding:
        // start one code lower.
        for (int b = 0; b <= kBuckets; ++b)
            start_[b] = static_cast<unsigned char>(std::max(0, srgbCode(static_cast<float>(b) / kBuckets) - 1));
    }

    unsigned char operator()(float linear) const
    {
        if (!(linear > 0.0f))
            return 0;
        if (linear >= 1.0f)
            return 255;
        unsigned code = start_[static_cast<int>(linear * kBuckets)];
        while (code < 255 && linear >= threshold_[code + 1])
            ++code;
        return static_cast<unsigned char>(code);
    }

private:
    static const int kBuckets = 8192;
    float threshold_[256];
    unsigned char start_[kBuckets + 1];
};

const SrgbTable& srgbTable()
{
    static const SrgbTable table;
    return table;
}

}  // namespace

unsigned char encodeSrgb(float linear) { return srgbTable()(linear); }

void prepareImage(Image& image, int width, int height, bool linear, float fill)
{
    image.width = width;
    image.height = height;
    image.linear = linear;
    const std::size_t values = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    if (linear) {
        image.srgb.clear();
        image.halves.assign(values, half(fill).bits());
    } else {
        image.halves.clear();
        image.srgb.assign(values, encodeSrgb(fill));
    }
}

Vec3 Image::pixel(int x, int y) const
{
    const std::size_t i = 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x));
    if (linear) {
        half h[3];
        for (int k = 0; k < 3; ++k)
            h[k].setBits(halves[i + k]);
        return {static_cast<float>(h[0]), static_cast<float>(h[1]), static_cast<float>(h[2])};
    }
    return {srgbDecode(srgb[i]), srgbDecode(srgb[i + 1]), srgbDecode(srgb[i + 2])};
}

void Image::setPixel(int x, int y, const Vec3& colour)
{
    storePixel(*this, static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x),
               colour.x, colour.y, colour.z);
}

void storePixel(Image& image, std::size_t pixel, float r, float g, float b)
{
    if (image.linear) {
        unsigned short* out = &image.halves[3 * pixel];
        out[0] = half(r).bits();
        out[1] = half(g).bits();
        out[2] = half(b).bits();
    } else {
        const SrgbTable& table = srgbTable();
        unsigned char* out = &image.srgb[3 * pixel];
        out[0] = table(r);
        out[1] = table(g);
        out[2] = table(b);
    }
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

namespace {
const char kLookKey[] = "coolwarm:look";
const char kCommandLineKey[] = "coolwarm:commandLine";
}  // namespace

std::string encodeImage(const Image& image, const std::string& type, const std::string& description)
{
    const bool linear = isLinear(type);
    OIIO::ImageSpec format(image.width, image.height, 3, linear ? OIIO::TypeDesc::HALF : OIIO::TypeDesc::UINT8);
    const bool tiff = type == "tif" || type == "tiff";
    // The image library writes a TIFF's colour space as an EXIF block, which
    // it cannot write through a memory proxy whole (the file comes out
    // without its image directory); 8-bit TIFF is taken as sRGB anyway.
    if (!tiff)
        format.attribute("oiio:ColorSpace", linear ? "Linear" : "sRGB");
    // TIFF keeps no metadata of other names: its description carries the
    // look and the command line too, one per line.
    const std::string look = lookJson(image.look, false);
    format.attribute("ImageDescription",
                     tiff ? description + "\n" + kLookKey + " " + look +
                                (image.commandLine.empty() ? "" : "\n" + std::string(kCommandLineKey) + " " + image.commandLine)
                          : description);
    format.attribute("Software", "coolwarm preview");
    // A preview's file is written once and seldom kept: quick compression, no
    // per-row filter search (a third of the time for a larger file).
    format.attribute("png:compressionLevel", 3);
    format.attribute("png:filter", 0x08);  // libpng's PNG_FILTER_NONE
    std::string panels;
    for (const std::string& p : image.panels)
        panels += (panels.empty() ? "" : ",") + p;
    format.attribute("coolwarm:panels", panels);
    // The look drawn, as a look file holds it, and what drew it: --look IMAGE
    // reads the look back.
    format.attribute(kLookKey, look);
    if (!image.commandLine.empty())
        format.attribute(kCommandLineKey, image.commandLine);

    // Encoded in memory: the image library's own file writing does not report
    // every failed write, so the file is written by writeFileWhole.
    const std::string name = "image." + type;
    std::vector<unsigned char> bytes;
    OIIO::Filesystem::IOVecOutput memory(bytes);
    std::unique_ptr<OIIO::ImageOutput> out = OIIO::ImageOutput::create(name);
    bool ok = out && out->supports("ioproxy") && out->set_ioproxy(&memory) && out->open(name, format);
    if (ok) {
        // The pixels go out as they are kept; a picture kept in the other form
        // (linear for an 8-bit file, or the reverse) is converted on the way.
        if (linear == image.linear) {
            ok = linear ? out->write_image(OIIO::TypeDesc::HALF, image.halves.data())
                        : out->write_image(OIIO::TypeDesc::UINT8, image.srgb.data());
        } else if (linear) {
            std::vector<float> values(image.srgb.size());
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] = srgbDecode(image.srgb[i]);
            ok = out->write_image(OIIO::TypeDesc::FLOAT, values.data());
        } else {
            std::vector<unsigned char> codes(image.halves.size());
            for (std::size_t i = 0; i < codes.size(); ++i) {
                half h;
                h.setBits(image.halves[i]);
                codes[i] = encodeSrgb(static_cast<float>(h));
            }
            ok = out->write_image(OIIO::TypeDesc::UINT8, codes.data());
        }
        ok = out->close() && ok;
    }
    if (!ok)
        throw InternalError("cannot encode a ." + type + " image: " + (out ? out->geterror() : OIIO::geterror()));
    return std::string(bytes.begin(), bytes.end());
}

bool isImagePath(const std::string& path)
{
    const std::string type = extensionOf(path);
    return type == "png" || type == "tif" || type == "tiff" || type == "exr" || type == "jpg" || type == "jpeg";
}

Look readImageLook(const std::string& path)
{
    const std::string what = "--look '" + path + "'";
    std::unique_ptr<OIIO::ImageInput> in = OIIO::ImageInput::open(path);
    if (!in) {
        std::string why = OIIO::geterror();
        throw InputError(what + ": cannot read the image" + (why.empty() ? "" : ": " + why));
    }
    std::string text = in->spec().get_string_attribute(kLookKey);
    if (text.empty()) {
        // A TIFF's description: its line that starts with the key.
        const std::string description = in->spec().get_string_attribute("ImageDescription");
        const std::string key = "\n" + std::string(kLookKey) + " ";
        const std::size_t at = description.find(key);
        if (at != std::string::npos) {
            const std::size_t start = at + key.size(), end = description.find('\n', start);
            text = description.substr(start, end == std::string::npos ? std::string::npos : end - start);
        }
    }
    in->close();
    if (text.empty())
        throw InputError(what + ": the image records no look (only images written by coolwarm render or the "
                                "lookdev page do)");
    return parseLook(text, what + ": its look");
}

bool isLinearOutput(const std::string& path) { return isLinear(extensionOf(path)); }

int storedBytesPerPixel(const std::string& path) { return isLinear(extensionOf(path)) ? 6 : 3; }

void writeImage(const std::string& path, const Image& image, const std::string& description)
{
    writeFileWhole(path, encodeImage(image, extensionOf(path), description), "--out '" + path + "'");
}

}  // namespace cwtool
