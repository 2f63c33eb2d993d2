// Internal to serve/: what the lookdev server's parts share (the controls and
// scenes the page shows, a checked render request, the loaded state). Only
// serve/'s own files include it.
#ifndef COOLWARM_TOOL_SERVE_LOOKDEV_H
#define COOLWARM_TOOL_SERVE_LOOKDEV_H

#include "serve.h"

#include "core/deliverables.h"
#include "core/values.h"
#include "look/look.h"
#include "look/lookExport.h"
#include "look/reference.h"
#include "render/render.h"
#include "scene/scene.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <vector>

namespace httplib {
class Server;
}

namespace cwtool {
namespace lookdev {

using nlohmann::json;
using nlohmann::ordered_json;

// Bounds on what one request may ask for; the schema reports them.
const int kMaxSize = 2048;          // pixels, each side of each panel
const int kMaxSamples = 64;         // per pixel
const std::size_t kMaxRequestBytes = 64 * 1024;

// One thing the page can tune: a node attribute, a shader parameter, or both
// under one name; or one side's value of a name that the built-in look sets
// differently on the two sides ("maya:eccentricity", "mentalray:eccentricity").
struct Control {
    enum Kind { Float, Color, Boolean };
    std::string name;
    Kind kind = Float;
    std::vector<double> defaults;
    bool hasMin = false, hasMax = false;  // hard limits
    double min = 0.0, max = 0.0;
    double softMin = 0.0, softMax = 1.0;  // the slider's range
    bool maya = false, mentalray = false;
    std::string group = kExtraGroup;
};

// Where a camera or a light sits around the scene's centre, in the angles of
// directionFromAngles.
struct Orbit {
    float azimuth = 0.0f, elevation = 0.0f;
    float distance = 0.0f;   // the camera's; 0: fitted to the picture
    float intensity = 1.0f;  // the light's
};

struct SceneEntry {
    std::string id, label;
    Scene scene;
    Orbit camera, light;  // as the scene has them; light: the key light
    std::string keyLight;
    bool fromObj = false;  // a model the user named, which may stand on another axis
};

// What one POST /api/export asks for, checked.
struct ExportJob {
    ExportFormat format = ExportFormat::Json;
    Look look;          // the built-in look with the request's settings over it
    std::string name;   // empty: none asked for
};

// What one POST /api/render asks for, checked.
struct RenderJob {
    const SceneEntry* scene = nullptr;
    RenderSettings settings;
    // As --camera, --light and --background take them; empty: the scene's.
    std::string camera, light, background;
    UpAxis up = UpAxis::Y;  // as --up takes it
    std::string format = "png";
};

class BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One control per node attribute (maya only) and per shader parameter
// (mentalray only), under bare names: what a prefixed name is checked against.
std::vector<Control> buildSideControls(const MayaPlugin& plugin, const MentalRayShader& shader);
// The page's controls: one per name, both sides under one where both have it,
// split into maya:NAME and mentalray:NAME where `look` sets the two sides
// differently (each defaulting to its side's value in the look).
std::vector<Control> buildControls(const std::vector<Control>& sides, const Look& look);
// A scene the page may show; `look` goes under the scene's own material, as
// `render --look` puts it.
SceneEntry makeEntry(const std::string& id, const std::string& label, Scene scene, const Look& look);
// The page's schema: the built-in look, the controls, the scenes, the limits,
// both deliverables' own.
ordered_json schemaJson(const Look& look, const std::vector<Control>& controls, const std::vector<SceneEntry>& scenes,
                        const MayaPlugin& plugin, const MentalRayShader& shader);
// The look file's form of a look, with true/false for the boolean controls.
ordered_json lookObject(const Look& look, const std::vector<Control>& sides);

// A request body as JSON, its depth bounded; throws BadRequest.
json parseBody(const std::string& body);
// Throws BadRequest naming the field and the problem.
RenderJob parseRenderRequest(const json& request, const std::vector<Control>& controls,
                             const std::vector<Control>& sides, const std::vector<SceneEntry>& scenes);
ExportJob parseExportRequest(const json& request, const std::vector<Control>& controls,
                             const std::vector<Control>& sides);
// A request's "settings": names of the controls, or any node attribute or
// shader parameter with a maya: or mentalray: prefix, each value checked
// against its side's range (a bare name against both sides'). Bare names
// apply first, so a prefixed value wins on its side. Throws BadRequest.
Look parseSettings(const json& settings, const std::vector<Control>& controls, const std::vector<Control>& sides);
// The notes the command line prints for these settings as --set (a value that
// reaches one panel only, a value clamped), for the values that differ from
// the scene's look (or, where it has none, the control's default).
std::vector<std::string> settingNotes(const RenderJob& job, const std::vector<Control>& controls,
                                      const MayaPlugin& plugin, const MentalRayShader& shader);
// The job's scene, with its camera and light moved as asked.
Scene posedScene(const RenderJob& job);

// Everything the server answers from, loaded before the first request: no
// request names a file.
struct Lookdev {
    explicit Lookdev(const ServeOptions& options);
    const InstallLayout layout;
    const MayaPlugin plugin;
    const MentalRayShader shader;
    const Look look;  // the built-in look, the page's starting point
    const std::vector<Control> sides;
    const std::vector<Control> controls;
    std::vector<SceneEntry> scenes;
    std::string schema, version;  // the answers to GET /api/schema and /api/version
};

class RenderGate;

// The page, the API and the Host check, on a server bound to host:port.
void addRoutes(httplib::Server& server, const Lookdev& lookdev, RenderGate& gate, const ServeOptions& options,
               int port);
// Where the page is, for the user.
std::string urlOf(const std::string& host, int port);

}  // namespace lookdev
}  // namespace cwtool

#endif
