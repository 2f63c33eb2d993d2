// The built zarn_coolwarm library opened by the platform loader and bound to the
// stand-in renderer through miSetModuleHandle, and shader calls built from the
// shipped declaration, as the renderer builds them.
#ifndef COOLWARM_TEST_SHADER_FIXTURE_H
#define COOLWARM_TEST_SHADER_FIXTURE_H

#include "declaration.h"
#include "loader.h"
#include "mrHost.h"

#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct ShaderLibrary {
    typedef int (*SetModuleHandleFn)(void*);
    typedef miBoolean (*ShaderFn)(miColor*, miState*, void*);
    typedef int (*VersionFn)();

    ShaderLibrary()
    {
        library = loader::open(ZARN_COOLWARM_FILE);
        if (!library)
            throw std::runtime_error("cannot open " ZARN_COOLWARM_FILE ": " + loader::error());
        shade = reinterpret_cast<ShaderFn>(loader::symbol(library, "zarn_coolwarm"));
        version = reinterpret_cast<VersionFn>(loader::symbol(library, "zarn_coolwarm_version"));
        SetModuleHandleFn setModuleHandle =
            reinterpret_cast<SetModuleHandleFn>(loader::symbol(library, "miSetModuleHandle"));
        // The renderer hands the library the handle of its own module.
        void* renderer = loader::loaded(mrhost::modulePath());
        if (!shade || !version || !setModuleHandle || !renderer)
            throw std::runtime_error("the shader library or the renderer module is incomplete");
        setModuleHandle(renderer);
        declaration = mrhost::readDeclaration(std::string(COOLWARM_BUILD_DIR) + "/mentalray/include/zarn_coolwarm.mi",
                                              "zarn_coolwarm");
    }

    static ShaderLibrary& get()
    {
        static ShaderLibrary instance;
        return instance;
    }

    void* library = nullptr;
    ShaderFn shade = nullptr;
    VersionFn version = nullptr;
    mrhost::Declaration declaration;
};

// One shading call: parameters by name (the rest from the declaration), lights
// by tag, and the state's geometry.
struct ShaderScene {
    std::map<std::string, std::vector<double>> values;
    std::vector<miTag> lights;
    miVector normal{0.0f, 0.0f, 1.0f};
    miVector dir{0.0f, 0.0f, -1.0f};
    miVector point{0.0f, 0.0f, 0.0f};
    void* pri = nullptr;

    std::unique_ptr<mrhost::ShaderCall> build() const
    {
        mrhost::BlockBuilder builder(ShaderLibrary::get().declaration);
        for (const auto& v : values)
            builder.set(v.first, v.second);
        builder.setArray("light", lights);
        std::unique_ptr<mrhost::ShaderCall> call(new mrhost::ShaderCall(builder.bytes()));
        builder.write(call->parameters());
        miState& s = call->state();
        s.normal = normal;
        s.dir = dir;
        s.point = point;
        s.pri = pri;
        return call;
    }
};

inline miColor shadeCall(mrhost::ShaderCall& call, miColor result = miColor{0.0f, 0.0f, 0.0f, 0.0f})
{
    ShaderLibrary::get().shade(&result, &call.state(), call.parameters());
    return result;
}

inline miColor shadeScene(const ShaderScene& scene, miColor result = miColor{0.0f, 0.0f, 0.0f, 0.0f})
{
    std::unique_ptr<mrhost::ShaderCall> call = scene.build();
    return shadeCall(*call, result);
}

// A light whose samples all arrive from where the unit normal (0, 0, 1) makes
// the cosines given, in the x-z plane, white.
inline miTag listedLight(const std::vector<float>& cosines, miColor colour = miColor{1.0f, 1.0f, 1.0f, 1.0f})
{
    mrhost::Light light;
    light.kind = mrhost::Light::Listed;
    for (float d : cosines) {
        const float s = std::sqrt(std::fmax(0.0f, 1.0f - d * d));
        light.listed.push_back({colour, miVector{s, 0.0f, d}});
    }
    return mrhost::addLight(light);
}

#endif
