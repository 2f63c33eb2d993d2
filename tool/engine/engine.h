// engine/: everything the front ends (cli/, serve/) share, built as one static
// library (coolwarm_engine) that the front ends, the tests, the fuzzers and the
// benchmarks link. Its parts, each a folder with a main header of its name:
//
//   core/    the deliverables loaded through the hosts, values, errors, limits
//   scene/   scenes, meshes, scene and look files
//   render/  ray casting and shading into an image, contact sheets, image files
//   shade/   `shade` requests and `describe` answered through the deliverables
//
// Headers are included as "PART/HEADER.h". A part includes only the public
// headers its main header lists, of the parts below it (core, then scene, then
// render; shade on core alone), never a header a part keeps to itself, and never
// a front end. This header gathers the public ones for a front end that wants
// them all.
#ifndef COOLWARM_TOOL_ENGINE_H
#define COOLWARM_TOOL_ENGINE_H

#include "core/core.h"
#include "render/image.h"
#include "render/render.h"
#include "render/sheet.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"
#include "shade/describe.h"
#include "shade/shade.h"

#endif
