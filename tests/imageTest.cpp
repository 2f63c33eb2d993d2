// The preview's pixels: kept as the file stores them, encoded exactly.
#include "render/image.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/half.h>
#include <OpenImageIO/imageio.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// The sRGB curve as the writer has always applied it, one power per value.
int referenceCode(float linear)
{
    float v;
    if (!(linear > 0.0f))
        v = 0.0f;
    else if (linear >= 1.0f)
        v = 1.0f;
    else
        v = linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
    return static_cast<int>(std::lround(255.0f * v));
}

float ofBits(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TEST(ImagePixels, SrgbCodesMatchTheCurveAcrossTheUnitRangeAndBeyond)
{
    std::uint32_t one;
    const float oneValue = 1.0f;
    std::memcpy(&one, &oneValue, sizeof one);
    // Every 61st float from 0 to 1, and every float next to a change of code.
    int previous = 0;
    for (std::uint32_t bits = 0; bits <= one; bits += 61) {
        const float x = ofBits(bits);
        ASSERT_EQ(cwtool::encodeSrgb(x), referenceCode(x)) << "at " << x;
        const int code = referenceCode(x);
        if (code != previous) {
            for (std::uint32_t b = bits - 61; b <= bits; ++b)
                ASSERT_EQ(cwtool::encodeSrgb(ofBits(b)), referenceCode(ofBits(b))) << "at " << ofBits(b);
        }
        previous = code;
    }
    for (float x : {-1.0f, -0.0f, 1.0f, 1.5f, 1e30f, std::numeric_limits<float>::infinity(),
                    -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::denorm_min()})
        EXPECT_EQ(cwtool::encodeSrgb(x), referenceCode(x)) << "at " << x;
}

// The picture takes 3 bytes a pixel for 8-bit files and 6 for linear ones.
TEST(ImagePixels, APictureKeepsOnlyWhatItsFileStores)
{
    cwtool::Image srgb, linear;
    cwtool::prepareImage(srgb, 4, 2, false, 0.25f);
    cwtool::prepareImage(linear, 4, 2, true, 0.25f);
    EXPECT_EQ(srgb.srgb.size(), 24u);
    EXPECT_TRUE(srgb.halves.empty());
    EXPECT_EQ(linear.halves.size(), 24u);
    EXPECT_TRUE(linear.srgb.empty());
    EXPECT_EQ(srgb.srgb[23], referenceCode(0.25f));

    cwtool::storePixel(srgb, 5, 0.5f, 2.0f, -1.0f);
    cwtool::storePixel(linear, 5, 0.5f, 2.0f, -1.0f);
    EXPECT_EQ(srgb.srgb[15], referenceCode(0.5f));
    EXPECT_EQ(srgb.srgb[16], 255);
    EXPECT_EQ(srgb.srgb[17], 0);
    EXPECT_EQ(linear.halves[15], half(0.5f).bits());
    EXPECT_EQ(linear.halves[16], half(2.0f).bits());  // linear files keep values beyond 1
    EXPECT_EQ(linear.halves[17], half(-1.0f).bits());
}

std::vector<float> decode(const std::string& bytes, const std::string& type)
{
    std::vector<unsigned char> data(bytes.begin(), bytes.end());
    OIIO::Filesystem::IOMemReader memory(data.data(), data.size());
    OIIO::ImageSpec config;
    void* proxy = &memory;
    config.attribute("oiio:ioproxy", OIIO::TypeDesc::PTR, &proxy);
    auto in = OIIO::ImageInput::open("image." + type, &config);
    if (!in)
        return {};
    std::vector<float> values(static_cast<std::size_t>(in->spec().image_pixels()) * 3);
    in->read_image(0, 0, 0, 3, OIIO::TypeDesc::FLOAT, values.data());
    return values;
}

// Each kind of picture writes either kind of file.
TEST(ImagePixels, FilesOfEitherKindComeFromPicturesOfEitherKind)
{
    for (bool linearPicture : {false, true}) {
        cwtool::Image image;
        cwtool::prepareImage(image, 2, 1, linearPicture, 0.0f);
        cwtool::storePixel(image, 1, 0.5f, 0.25f, 1.0f);
        const std::vector<float> png = decode(cwtool::encodeImage(image, "png", "test"), "png");
        ASSERT_EQ(png.size(), 6u);
        EXPECT_FLOAT_EQ(png[3] * 255.0f, static_cast<float>(referenceCode(0.5f)));
        EXPECT_FLOAT_EQ(png[5], 1.0f);
        const std::vector<float> exr = decode(cwtool::encodeImage(image, "exr", "test"), "exr");
        ASSERT_EQ(exr.size(), 6u);
        EXPECT_NEAR(exr[3], 0.5f, linearPicture ? 0.0f : 0.003f);
        EXPECT_NEAR(exr[4], 0.25f, linearPicture ? 0.0f : 0.003f);
        EXPECT_EQ(exr[0], 0.0f);
    }
}

}  // namespace
