#include "sceneFile.h"

#include "core/errors.h"
#include "core/fileInput.h"
#include "core/jsonInput.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>

namespace cwtool {

using nlohmann::json;

namespace {

json readJson(const std::string& path, const std::string& what)
{
    return parseJsonText(readRegularFile(path, kMaxJsonFileBytes, what), kMaxJsonFileBytes, what);
}

// Reads fields of one file, naming the file and the field in every complaint.
class Fields {
public:
    explicit Fields(std::string what) : what_(std::move(what)) {}

    [[noreturn]] void fail(const std::string& field, const std::string& problem) const
    {
        throw InputError(what_ + ": " + field + ": " + problem);
    }

    void onlyKeys(const json& object, const std::string& field, std::initializer_list<const char*> known) const
    {
        if (!object.is_object())
            fail(field, "expected an object, got " + shown(object));
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool ok = false;
            std::string list;
            for (const char* k : known) {
                ok = ok || it.key() == k;
                list += (list.empty() ? "" : ", ") + std::string(k);
            }
            if (!ok)
                fail(join(field, it.key()), "unknown field (expected one of " + list + ")");
        }
    }

    float number(const json& value, const std::string& field, double lo, double hi) const
    {
        if (!value.is_number())
            fail(field, "expected a number, got " + shown(value));
        const double v = value.get<double>();
        if (!(v >= lo && v <= hi))
            fail(field, shown(value) + " is out of range (" + range(lo, hi) + ")");
        return static_cast<float>(v);
    }

    // Kept in double precision: a position in the file's units.
    std::array<double, 3> point(const json& value, const std::string& field) const
    {
        if (!value.is_array() || value.size() != 3)
            fail(field, "expected three numbers [x, y, z], got " + shown(value));
        std::array<double, 3> p{};
        for (int i = 0; i < 3; ++i) {
            const std::string f = field + "[" + std::to_string(i) + "]";
            if (!value[i].is_number())
                fail(f, "expected a number, got " + shown(value[i]));
            p[i] = value[i].get<double>();
            if (!(p[i] >= -1e30 && p[i] <= 1e30))
                fail(f, shown(value[i]) + " is out of range (" + range(-1e30, 1e30) + ")");
        }
        return p;
    }

    Vec3 triple(const json& value, const std::string& field, double lo = -1e6, double hi = 1e6) const
    {
        if (!value.is_array() || value.size() != 3)
            fail(field, "expected three numbers [x, y, z], got " + shown(value));
        return {number(value[0], field + "[0]", lo, hi), number(value[1], field + "[1]", lo, hi),
                number(value[2], field + "[2]", lo, hi)};
    }

    // A grey level or [r, g, b], none negative.
    Vec3 colour(const json& value, const std::string& field) const
    {
        if (value.is_number()) {
            const float g = number(value, field, 0.0, 1e6);
            return {g, g, g};
        }
        if (!value.is_array() || value.size() != 3)
            fail(field, "expected a grey level or [r, g, b], got " + shown(value));
        return triple(value, field, 0.0, 1e6);
    }

    bool flag(const json& value, const std::string& field) const
    {
        if (!value.is_boolean())
            fail(field, "expected true or false, got " + shown(value));
        return value.get<bool>();
    }

    std::string text(const json& value, const std::string& field) const
    {
        if (!value.is_string() || value.get<std::string>().empty())
            fail(field, "expected a non-empty string, got " + shown(value));
        return value.get<std::string>();
    }

    static std::string join(const std::string& field, const std::string& key)
    {
        return field.empty() ? key : field + "." + key;
    }

private:
    static std::string shown(const json& value)
    {
        std::string s = value.dump();
        return s.size() > 40 ? s.substr(0, 37) + "..." : s;
    }
    static std::string range(double lo, double hi)
    {
        std::ostringstream o;
        o << "from " << lo << " to " << hi;
        return o.str();
    }

    std::string what_;
};

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// A position given in the file's units, in the scene's (placed) coordinates.
Vec3 toScene(const Scene& scene, const std::array<double, 3>& p)
{
    const Placement& o = scene.placement;
    return {static_cast<float>((p[0] - o.origin[0]) / o.unit), static_cast<float>((p[1] - o.origin[1]) / o.unit),
            static_cast<float>((p[2] - o.origin[2]) / o.unit)};
}

Mesh readMesh(const Fields& f, const json& m, const std::string& field, const std::string& sceneFolder,
              const MeshOptions& defaults, const std::string& sceneWhat, std::vector<std::string>& notes)
{
    f.onlyKeys(m, field, {"name", "builtin", "obj", "crease", "normals", "up", "translate", "rotate", "scale"});
    Mesh mesh;
    if (m.contains("builtin") == m.contains("obj"))
        f.fail(field, "give exactly one of \"builtin\" and \"obj\"");
    if (m.contains("builtin")) {
        const std::string name = f.text(m["builtin"], field + ".builtin");
        if (!builtinMesh(name, mesh))
            f.fail(field + ".builtin", "unknown built-in mesh '" + name + "' (sphere, torus, box or ground)");
        for (const char* objOnly : {"crease", "normals", "up"})
            if (m.contains(objOnly))
                f.fail(field + "." + objOnly, std::string("only an OBJ mesh takes \"") + objOnly + "\"");
    } else {
        std::string file = f.text(m["obj"], field + ".obj");
        if (file[0] != '/')
            file = sceneFolder + file;
        MeshOptions options = defaults;
        if (m.contains("crease")) {
            options.creaseDegrees = f.number(m["crease"], field + ".crease", 0.0, 180.0);
            options.creaseGiven = true;
        }
        if (m.contains("normals")) {
            const std::string normals = f.text(m["normals"], field + ".normals");
            if (!parseNormalSource(normals, options.normals))
                f.fail(field + ".normals", "unknown normals '" + normals + "' (file, smooth or flat)");
        }
        if (m.contains("up")) {
            const std::string up = f.text(m["up"], field + ".up");
            if (!parseUpAxis(up, options.up))
                f.fail(field + ".up", "unknown up axis '" + up + "' (y or z)");
        }
        mesh = loadObjMesh(file, options, sceneWhat + ": " + field + ".obj", &notes);
    }
    if (m.contains("name"))
        mesh.name = f.text(m["name"], field + ".name");
    const std::array<double, 3> translate =
        m.contains("translate") ? f.point(m["translate"], field + ".translate") : std::array<double, 3>{0, 0, 0};
    const Vec3 rotate = m.contains("rotate") ? f.triple(m["rotate"], field + ".rotate") : Vec3{0, 0, 0};
    Vec3 scale{1.0f, 1.0f, 1.0f};
    if (m.contains("scale")) {
        const json& s = m["scale"];
        scale = s.is_number() ? Vec3{1, 1, 1} * f.number(s, field + ".scale", -1e6, 1e6) : f.triple(s, field + ".scale");
        if (scale.x == 0.0f || scale.y == 0.0f || scale.z == 0.0f)
            f.fail(field + ".scale", "a scale of 0 flattens the mesh");
    }
    transformMesh(mesh, translate, rotate, scale);
    // The mesh's reach in the file's units must stay within single precision.
    double reach = 0.0;
    for (const Vec3& p : mesh.positions)
        reach = std::max({reach, std::fabs(static_cast<double>(p.x)), std::fabs(static_cast<double>(p.y)),
                          std::fabs(static_cast<double>(p.z))});
    const Placement& o = mesh.placement;
    reach = reach * o.unit + std::max({std::fabs(o.origin[0]), std::fabs(o.origin[1]), std::fabs(o.origin[2])});
    if (!(reach <= std::numeric_limits<float>::max()))
        f.fail(field + (m.contains("scale") ? ".scale" : ""), "the mesh would reach beyond single precision (" +
                                                                 std::to_string(reach) + " units from the origin)");
    return mesh;
}

SceneLight readLight(const Fields& f, const json& l, const std::string& field, int index, const Scene& scene)
{
    f.onlyKeys(l, field, {"name", "type", "position", "direction", "color", "intensity", "emitDiffuse",
                          "emitSpecular", "emitAmbient", "renderers"});
    SceneLight light;
    light.name = l.contains("name") ? f.text(l["name"], field + ".name") : "light" + std::to_string(index + 1);
    const std::string type = l.contains("type") ? f.text(l["type"], field + ".type") : "point";
    if (type == "point") {
        light.kind = SceneLight::Point;
        if (!l.contains("position"))
            f.fail(field, "a point light needs a \"position\"");
        if (l.contains("direction"))
            f.fail(field + ".direction", "a point light has a position, not a direction");
        light.position = toScene(scene, f.point(l["position"], field + ".position"));
    } else if (type == "directional") {
        light.kind = SceneLight::Directional;
        if (!l.contains("direction"))
            f.fail(field, "a directional light needs a \"direction\" (the way its light travels)");
        if (l.contains("position"))
            f.fail(field + ".position", "a directional light has a direction, not a position");
        light.direction = f.triple(l["direction"], field + ".direction");
        if (!(length(light.direction) > 0.0f))
            f.fail(field + ".direction", "the direction has no length");
        light.direction = normalized(light.direction);
    } else {
        f.fail(field + ".type", "unknown light type '" + type + "' (point or directional)");
    }
    if (l.contains("color"))
        light.colour = f.colour(l["color"], field + ".color");
    if (l.contains("intensity"))
        light.intensity = f.number(l["intensity"], field + ".intensity", 0.0, 1e6);
    if (l.contains("emitDiffuse"))
        light.emitDiffuse = f.flag(l["emitDiffuse"], field + ".emitDiffuse");
    if (l.contains("emitSpecular"))
        light.emitSpecular = f.flag(l["emitSpecular"], field + ".emitSpecular");
    if (l.contains("emitAmbient"))
        light.emitAmbient = f.flag(l["emitAmbient"], field + ".emitAmbient");
    if (l.contains("renderers")) {
        const json& r = l["renderers"];
        if (!r.is_array())
            f.fail(field + ".renderers", "expected a list of \"maya\" and \"mentalray\"");
        light.maya = light.mentalRay = false;
        for (std::size_t i = 0; i < r.size(); ++i) {
            const std::string name = f.text(r[i], field + ".renderers[" + std::to_string(i) + "]");
            if (name == "maya")
                light.maya = true;
            else if (name == "mentalray")
                light.mentalRay = true;
            else
                f.fail(field + ".renderers[" + std::to_string(i) + "]", "unknown renderer '" + name +
                                                                          "' (maya or mentalray)");
        }
    }
    return light;
}

void readCamera(const Fields& f, const json& c, Scene& scene)
{
    f.onlyKeys(c, "camera", {"azimuth", "elevation", "distance", "target", "position", "fov"});
    Camera& cam = scene.camera;
    if (c.contains("target")) {
        cam.target = toScene(scene, f.point(c["target"], "camera.target"));
        cam.fitTarget = false;
    }
    if (c.contains("fov"))
        cam.fovY = f.number(c["fov"], "camera.fov", 1.0, 170.0);
    if (c.contains("position")) {
        for (const char* angle : {"azimuth", "elevation", "distance"})
            if (c.contains(angle))
                f.fail(std::string("camera.") + angle, "give either \"position\" or azimuth/elevation/distance");
        Vec3 centre;
        float radius;
        boundingSphere(scene, centre, radius);
        const Vec3 target = cam.fitTarget ? centre : cam.target;
        const Vec3 d = toScene(scene, f.point(c["position"], "camera.position")) - target;
        const float distance = length(d);
        if (!(distance > 0.0f))
            f.fail("camera.position", "the camera sits on its target");
        cam.target = target;
        cam.fitTarget = false;
        cam.distance = distance;
        cam.elevation = std::asin(std::max(-1.0f, std::min(1.0f, d.y / distance))) * 180.0f / 3.14159265f;
        cam.azimuth = std::atan2(d.x, d.z) * 180.0f / 3.14159265f;
        return;
    }
    if (c.contains("azimuth"))
        cam.azimuth = f.number(c["azimuth"], "camera.azimuth", -360.0, 360.0);
    if (c.contains("elevation"))
        cam.elevation = f.number(c["elevation"], "camera.elevation", -90.0, 90.0);
    if (c.contains("distance"))
        cam.distance = static_cast<float>(f.number(c["distance"], "camera.distance", 1e-6, 1e6) / scene.placement.unit);
}

}  // namespace

bool parseUpAxis(const std::string& text, UpAxis& up)
{
    if (text != "y" && text != "z")
        return false;
    up = text == "z" ? UpAxis::Z : UpAxis::Y;
    return true;
}

bool parseNormalSource(const std::string& text, NormalSource& normals)
{
    if (text == "file")
        normals = NormalSource::File;
    else if (text == "smooth")
        normals = NormalSource::Smooth;
    else if (text == "flat")
        normals = NormalSource::Flat;
    else
        return false;
    return true;
}

Scene loadSceneFile(const std::string& path, const MeshOptions& options)
{
    const std::string what = "--scene '" + path + "'";
    const json doc = readJson(path, what);
    const Fields f(what);
    f.onlyKeys(doc, "the file", {"camera", "lights", "background", "material", "meshes"});
    Scene scene;
    scene.description = "scene file: " + path;
    if (!doc.contains("meshes") || !doc["meshes"].is_array() || doc["meshes"].empty())
        f.fail("meshes", "expected a non-empty list of meshes");
    for (std::size_t i = 0; i < doc["meshes"].size(); ++i)
        scene.meshes.push_back(readMesh(f, doc["meshes"][i], "meshes[" + std::to_string(i) + "]", folderOf(path),
                                        options, what, scene.notes));
    // From here on, positions are in the placed scene's coordinates.
    placeScene(scene, what);
    if (doc.contains("lights")) {
        if (!doc["lights"].is_array())
            f.fail("lights", "expected a list of lights");
        for (std::size_t i = 0; i < doc["lights"].size(); ++i)
            scene.lights.push_back(readLight(f, doc["lights"][i], "lights[" + std::to_string(i) + "]",
                                             static_cast<int>(i), scene));
    } else {
        Vec3 centre;
        float radius;
        boundingSphere(scene, centre, radius);
        scene.lights = modelLights(centre, radius);
    }
    if (doc.contains("camera"))
        readCamera(f, doc["camera"], scene);
    if (doc.contains("background"))
        scene.background = f.colour(doc["background"], "background");
    if (doc.contains("material"))
        scene.material = lookFromJson(doc["material"], what, "material");
    return scene;
}

void applyCameraOption(Scene& scene, const std::string& text)
{
    const std::string what = "--camera '" + text + "'";
    const std::vector<double> v = parseNumbers(text, what, 2, 3);
    if (v[1] < -90.0 || v[1] > 90.0)
        throw InputError(what + ": the elevation must be from -90 to 90 degrees");
    if (v.size() == 3 && !(v[2] > 0.0))
        throw InputError(what + ": the distance must be greater than 0");
    scene.camera.azimuth = static_cast<float>(v[0]);
    scene.camera.elevation = static_cast<float>(v[1]);
    if (v.size() == 3)
        scene.camera.distance = static_cast<float>(v[2] / scene.placement.unit);
}

void applyLightOption(Scene& scene, const std::string& text)
{
    const std::string what = "--light '" + text + "'";
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw InputError(what + ": expected NAME=AZ,EL[,INTENSITY] or NAME=off, such as key=-60,40");
    const std::string name = text.substr(0, eq), value = text.substr(eq + 1);
    auto found = scene.lights.begin();
    while (found != scene.lights.end() && found->name != name)
        ++found;
    if (value == "off") {
        if (found == scene.lights.end()) {
            std::string names;
            for (const SceneLight& l : scene.lights)
                names += (names.empty() ? "" : ", ") + l.name;
            throw InputError(what + ": the scene has no light '" + name + "' (it has: " +
                             (names.empty() ? "none" : names) + ")");
        }
        scene.lights.erase(found);
        return;
    }
    const std::vector<double> v = parseNumbers(value, what, 2, 3);
    if (v[1] < -90.0 || v[1] > 90.0)
        throw InputError(what + ": the elevation must be from -90 to 90 degrees");
    if (v.size() == 3 && !(v[2] >= 0.0))
        throw InputError(what + ": the intensity must not be negative");
    if (found == scene.lights.end()) {
        SceneLight added;
        added.kind = SceneLight::Directional;
        added.name = name;
        scene.lights.push_back(added);
        found = scene.lights.end() - 1;
    }
    const Vec3 from = directionFromAngles(static_cast<float>(v[0]), static_cast<float>(v[1]));
    Vec3 centre;
    float radius;
    boundingSphere(scene, centre, radius);
    if (found->kind == SceneLight::Point)
        found->position = centre + std::max(length(found->position - centre), 2.0f * radius) * from;
    else
        found->direction = -from;
    if (v.size() == 3)
        found->intensity = static_cast<float>(v[2]);
}

Vec3 parseBackground(const std::string& text)
{
    const std::string what = "--background '" + text + "'";
    const std::vector<double> v = parseNumbers(text, what, 1, 3);
    if (v.size() == 2)
        throw InputError(what + ": expected a grey level or R,G,B");
    for (double c : v)
        if (c < 0.0)
            throw InputError(what + ": a colour component must not be negative");
    return v.size() == 1 ? Vec3{1, 1, 1} * static_cast<float>(v[0])
                         : Vec3{static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

}  // namespace cwtool
