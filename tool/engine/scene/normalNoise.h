// Internal to scene/: how far the normals a file gives stray from its
// surface, as a scanner's noisy ones do.
#ifndef COOLWARM_TOOL_NORMALNOISE_H
#define COOLWARM_TOOL_NORMALNOISE_H

#include "objParse.h"
#include "scene.h"

#include <cstddef>
#include <vector>

namespace cwtool {

// File normals that stray further than this from the surface's own, at the
// median, are noise rather than a choice: the outline band, which follows the
// normal, breaks into dots on them.
const float kNoisyNormalDegrees = 5.0f;

// The median angle, in degrees, between the normals a file gives and the
// surface's own normals at the same corners: the mean of the faces around the
// corner's position within 50 degrees of the file's normal, each weighted by
// its angle there (so the surface's normals smooth where the file's do, and
// keep to their faces across the hard edges the file keeps). Looks at the
// corners of about `samplePositions` positions spread evenly, so that a large
// file costs one pass over its faces. A file normal is taken on its face's
// side. `normals` are unit length; a corner's normal -1 is none. Returns -1
// when no corner looked at has a normal.
float medianNormalStray(const std::vector<Vec3>& positions, const std::vector<ObjArrays::Corner>& corners,
                        const std::vector<Vec3>& normals, std::size_t samplePositions = 4096);

}  // namespace cwtool

#endif
