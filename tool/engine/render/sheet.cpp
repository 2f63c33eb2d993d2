#include "sheet.h"

#include "image.h"
#include "labels.h"

#include "core/errors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace cwtool {

namespace {

const int kGap = 2;       // between swatches, in the separator's grey
const int kPanelGap = 8;  // between the two renderers' grids
const Vec3 kPaper{0.9f, 0.9f, 0.9f};
const Vec3 kInk{0.02f, 0.02f, 0.02f};

std::string shortNumber(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

std::string valueText(const std::vector<double>& v)
{
    std::string s;
    for (double x : v)
        s += (s.empty() ? "" : ",") + shortNumber(x);
    return s;
}

void paste(Image& sheet, const Image& swatch, int x0, int y0)
{
    for (int y = 0; y < swatch.height; ++y)
        for (int x = 0; x < swatch.width; ++x)
            sheet.setPixel(x0 + x, y0 + y, swatch.pixel(x, y));
}

}  // namespace

std::vector<double> Sweep::at(int index) const
{
    const double f = count > 1 ? static_cast<double>(index) / (count - 1) : 0.0;
    std::vector<double> v(from.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = from[i] + f * (to[i] - from[i]);
    return v;
}

Sweep parseSweep(const std::string& text)
{
    const std::string what = "--sweep '" + text + "'";
    const std::size_t eq = text.find('=');
    const std::size_t c1 = text.find(':', eq == std::string::npos ? 0 : eq);
    const std::size_t c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
    if (eq == std::string::npos || eq == 0 || c1 == std::string::npos || c2 == std::string::npos ||
        text.find(':', c2 + 1) != std::string::npos)
        throw InputError(what + ": expected NAME=FROM:TO:N, such as alpha=0:1:5");
    Sweep s;
    s.name = text.substr(0, eq);
    s.from = parseNumbers(text.substr(eq + 1, c1 - eq - 1), what, 1, 3);
    s.to = parseNumbers(text.substr(c1 + 1, c2 - c1 - 1), what, 1, 3);
    if (s.from.size() != s.to.size())
        throw InputError(what + ": FROM and TO must have as many numbers");
    const std::string n = text.substr(c2 + 1);
    char* end = nullptr;
    const long count = std::strtol(n.c_str(), &end, 10);
    if (n.empty() || *end || count < 2 || count > 16)
        throw InputError(what + ": N must be a whole number from 2 to 16, got '" + n + "'");
    s.count = static_cast<int>(count);
    return s;
}

Image renderContactSheet(const Scene& scene, const RenderSettings& settings, const std::vector<Sweep>& sweeps,
                         const MayaPlugin* plugin, const MentalRayShader* shader)
{
    const int columns = sweeps.at(0).count, rows = sweeps.size() > 1 ? sweeps[1].count : 1;
    const int scale = 1;
    const int lineHeight = textHeight(scale) + 3;
    const int labelHeight = static_cast<int>(sweeps.size()) * lineHeight + 3;
    // Each swatch's label lines, and a cell wide enough for the widest.
    std::vector<std::vector<std::string>> labels(static_cast<std::size_t>(rows * columns));
    int cellInner = settings.width;
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            for (std::size_t k = 0; k < sweeps.size(); ++k) {
                const std::string line =
                    targetOf(sweeps[k].name).name + " " + valueText(sweeps[k].at(k == 0 ? column : row));
                labels[row * columns + column].push_back(line);
                cellInner = std::max(cellInner, textWidth(line, scale) + 6);
            }
    const int cellWidth = cellInner + kGap, cellHeight = settings.height + labelHeight + kGap;
    std::vector<const MayaPlugin*> plugins;
    std::vector<const MentalRayShader*> shaders;
    std::vector<std::string> titles;
    if (plugin) {
        plugins.push_back(plugin);
        shaders.push_back(nullptr);
        titles.push_back("Maya");
    }
    if (shader) {
        plugins.push_back(nullptr);
        shaders.push_back(shader);
        titles.push_back("mental ray");
    }
    const int panels = static_cast<int>(titles.size());
    const int titleHeight = panels > 1 ? textHeight(scale) + 6 : 0;
    const int panelWidth = columns * cellWidth - kGap;

    Image sheet;
    sheet.width = panels * panelWidth + (panels - 1) * kPanelGap;
    sheet.height = titleHeight + rows * cellHeight - kGap;
    prepareImage(sheet, sheet.width, sheet.height, settings.linearOutput, 0.08f);
    // The look under the swept values; each swatch's label says what they were.
    sheet.look = scene.material;
    sheet.look.set(settings.settings);
    for (const MayaPlugin* p : plugins)
        sheet.panels.push_back(p ? "maya" : "mentalray");

    RenderSettings cell = settings;
    cell.labels = false;
    cell.progress = nullptr;
    const int total = panels * rows * columns;
    int done = 0;
    for (int p = 0; p < panels; ++p) {
        const int px = p * (panelWidth + kPanelGap);
        if (titleHeight) {
            fillRect(sheet, px, 0, panelWidth, titleHeight, kPaper, 1.0f);
            drawText(sheet, px + 3, 3, titles[p], scale, kInk);
        }
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                cell.settings = settings.settings;
                for (std::size_t k = 0; k < sweeps.size(); ++k)
                    cell.settings.set({sweeps[k].name, sweeps[k].at(k == 0 ? column : row)});
                const Image swatch = render(scene, cell, plugins[p], shaders[p]);
                const int x = px + column * cellWidth, y = titleHeight + row * cellHeight;
                fillRect(sheet, x, y, cellInner, settings.height, scene.background, 1.0f);
                paste(sheet, swatch, x + (cellInner - settings.width) / 2, y);
                fillRect(sheet, x, y + settings.height, cellInner, labelHeight, kPaper, 1.0f);
                const std::vector<std::string>& lines = labels[row * columns + column];
                for (std::size_t k = 0; k < lines.size(); ++k)
                    drawText(sheet, x + 3, y + settings.height + 3 + static_cast<int>(k) * lineHeight, lines[k],
                             scale, kInk);
                if (settings.progress)
                    settings.progress(++done, total);
            }
    }
    return sheet;
}

}  // namespace cwtool
