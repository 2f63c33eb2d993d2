// Scene control from the command line: JSON scene files, saved looks, and the
// --camera, --light and --background shortcuts.
//
// A scene file is one JSON object; every field is optional except "meshes":
//   "camera":     {"azimuth": DEG, "elevation": DEG, "distance": D, "target": [x,y,z],
//                  "position": [x,y,z], "fov": DEG}
//   "lights":     [{"name": TEXT, "type": "point"|"directional", "position": [x,y,z],
//                   "direction": [x,y,z], "color": [r,g,b], "intensity": I,
//                   "emitDiffuse": B, "emitSpecular": B, "emitAmbient": B,
//                   "renderers": ["maya", "mentalray"]}, ...]
//   "background": GREY or [r,g,b]
//   "material":   {NAME: VALUE, ...}, as a look file holds it
//   "meshes":     [{"builtin": "sphere"|"torus"|"box"|"ground"} or {"obj": FILE, "crease": DEG,
//                   "normals": "file"|"smooth"|"flat", "up": "y"|"z"},
//                  with "name", "translate": [x,y,z], "rotate": [x,y,z] degrees, "scale": S or [x,y,z]]
// An OBJ path is taken relative to the scene file's folder. Positions and
// distances are in the files' units; loading places the scene (placeScene)
// and converts them.
#ifndef COOLWARM_TOOL_SCENEFILE_H
#define COOLWARM_TOOL_SCENEFILE_H

#include "scene.h"

#include <string>
#include <vector>

namespace cwtool {

// Throws InputError naming the file, the field (such as lights[1].intensity)
// and the problem. `options` are the OBJ meshes' defaults.
Scene loadSceneFile(const std::string& path, const MeshOptions& options);

// "y" or "z"; "file", "smooth" or "flat": false for anything else.
bool parseUpAxis(const std::string& text, UpAxis& up);
bool parseNormalSource(const std::string& text, NormalSource& normals);

// --camera AZ,EL[,DIST]
void applyCameraOption(Scene& scene, const std::string& text);
// --light NAME=AZ,EL[,INTENSITY] moves (or adds) a light to that direction
// from the scene's centre; NAME=off removes it.
void applyLightOption(Scene& scene, const std::string& text);
// --background GREY or R,G,B
Vec3 parseBackground(const std::string& text);

}  // namespace cwtool

#endif
