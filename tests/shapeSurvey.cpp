// Writes the generated test shapes as OBJ files and measures pictures of them:
//   shapeSurvey write DIR [NAME [--offset X,Y,Z] [--scale S] [--z-up] [--flip N]]
//   shapeSurvey measure FILE.exr [BACKGROUND]
// `measure` prints the share of the object's pixels that are cool, warm and
// isolated specks, for a picture of one panel.
#include "meshShapes.h"
#include "pictureStats.h"

#include <OpenImageIO/imagebuf.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: shapeSurvey write DIR [NAME [--offset X,Y,Z] [--scale S] [--z-up] [--flip N]]\n"
                         "       shapeSurvey measure FILE.exr [BACKGROUND]\n");
    return 1;
}

bool writeShape(const std::string& dir, const std::string& name, const shapes::Options& o)
{
    std::ofstream out(dir + "/" + name + ".obj");
    out << shapes::objText(shapes::named(name), o);
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return usage();
    const std::string mode = argv[1];
    if (mode == "write") {
        const std::string dir = argv[2];
        if (argc == 3) {
            for (const std::string& name : shapes::names()) {
                if (!writeShape(dir, name, shapes::Options()))
                    return 1;
            }
            return 0;
        }
        const std::string name = argv[3];
        shapes::Options o;
        for (int i = 4; i < argc; ++i) {
            const std::string a = argv[i];
            if (a == "--z-up")
                o.zUp = true;
            else if (a == "--offset" && i + 1 < argc)
                std::sscanf(argv[++i], "%lf,%lf,%lf", &o.offset[0], &o.offset[1], &o.offset[2]);
            else if (a == "--scale" && i + 1 < argc)
                o.scale = std::atof(argv[++i]);
            else if (a == "--flip" && i + 1 < argc)
                o.flipEvery = std::atoi(argv[++i]);
            else
                return usage();
        }
        return writeShape(dir, name, o) ? 0 : 1;
    }
    if (mode == "measure") {
        OIIO::ImageBuf image(argv[2]);
        if (!image.read()) {
            std::fprintf(stderr, "shapeSurvey: %s: %s\n", argv[2], image.geterror().c_str());
            return 1;
        }
        const float background = argc > 3 ? static_cast<float>(std::atof(argv[3])) : 0.6f;
        const int w = image.spec().width, h = image.spec().height;
        std::vector<float> rgb(static_cast<std::size_t>(w) * h * 3);
        image.get_pixels(image.roi(), OIIO::TypeDesc::FLOAT, rgb.data());
        const pictures::Stats s = pictures::measure(rgb.data(), w, h, background);
        std::printf("object %d px  cool %.1f %%  warm %.1f %%  specks %d (%.2f %%)  margins l%d r%d t%d b%d\n",
                    s.object, s.coolShare() * 100.0, s.warmShare() * 100.0, s.specks, s.speckShare() * 100.0,
                    s.left, s.right, s.top, s.bottom);
        for (const auto& at : s.speckAt)
            std::printf("  speck at %d,%d\n", at.first, at.second);
        return 0;
    }
    return usage();
}
