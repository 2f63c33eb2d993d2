// Text burned into pictures with a small built-in 5 x 7 bitmap font: the
// panels' names and the values under contact-sheet swatches.
#ifndef COOLWARM_TOOL_LABELS_H
#define COOLWARM_TOOL_LABELS_H

#include "render.h"

#include <string>

namespace cwtool {

// Width and height in pixels of `text` drawn at `scale` (pixels per font dot).
int textWidth(const std::string& text, int scale);
int textHeight(int scale);

// Draws `text` with its top-left corner at (x, y) in `colour` (linear),
// clipped to the image. Characters outside printable ASCII draw as '?'.
void drawText(Image& image, int x, int y, const std::string& text, int scale, const Vec3& colour);

// The name of a panel in its top-left corner, dark on a light plate.
void drawPanelLabel(Image& image, int panelX, int panelWidth, const std::string& name);

// Fills a rectangle (clipped to the image) with `colour`, mixed over what is
// there by `opacity`.
void fillRect(Image& image, int x, int y, int width, int height, const Vec3& colour, float opacity);

}  // namespace cwtool

#endif
