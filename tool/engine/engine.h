// engine/: what a preview is made of and what makes pictures of it, shared by
// the front ends (shade/, serve/, cli/) and built as one static library
// (coolwarm_engine) that the front ends, the tests, the fuzzers and the
// benchmarks link. Its parts, each a folder with a main header of its name:
//
//   core/    the deliverables loaded through the hosts and their values set by
//            name, errors, limits, the reading of input files and JSON
//   look/    the material's values as one thing (a look), its files and its
//            forms for the hosts
//   scene/   scenes and meshes, scene files
//   render/  ray casting and shading into an image, contact sheets and labels,
//            image files
//
// Headers are included as "PART/HEADER.h". A part includes only the public
// headers its main header lists, of the parts below it (core, then look, then
// scene, then render), never a header a part keeps to itself, and never a front end. This
// header gathers the public ones for a front end that wants them all.
#ifndef COOLWARM_TOOL_ENGINE_H
#define COOLWARM_TOOL_ENGINE_H

#include "core/core.h"
#include "look/look.h"
#include "look/lookExport.h"
#include "look/reference.h"
#include "render/image.h"
#include "render/render.h"
#include "render/sheet.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"

#endif
