// Contact sheets: one object rendered as a grid of small swatches while one or
// two material settings step through a range, each swatch labelled with its
// values, so that a value can be picked by eye.
#ifndef COOLWARM_TOOL_SHEET_H
#define COOLWARM_TOOL_SHEET_H

#include "render.h"

#include <string>
#include <vector>

namespace cwtool {

// NAME=FROM:TO:N, FROM and TO one to three numbers each (as many in both).
struct Sweep {
    std::string name;
    std::vector<double> from, to;
    int count = 2;
    std::vector<double> at(int index) const;  // evenly from `from` (0) to `to` (count - 1)
};

// Throws InputError naming the text.
Sweep parseSweep(const std::string& text);

// The first sweep runs along the columns, the second (if any) down the rows.
// settings.width and settings.height are one swatch's size; with both
// deliverables the sheet holds one grid per renderer, side by side.
// settings.progress counts swatches rather than tiles.
Image renderContactSheet(const Scene& scene, const RenderSettings& settings, const std::vector<Sweep>& sweeps,
                         const MayaPlugin* plugin, const MentalRayShader* shader);

}  // namespace cwtool

#endif
