#include "deliverables.h"

#include "errors.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace cwtool {

// bin/coolwarm sits beside plug-ins/ and mentalray/, in the build tree and in
// an install alike.
InstallLayout findLayout()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        throw InternalError("cannot find the coolwarm executable's own path");
    path[n] = '\0';
    std::string dir(path);
    dir = dir.substr(0, dir.find_last_of('/'));       // .../bin
    InstallLayout layout;
    layout.root = dir.substr(0, dir.find_last_of('/'));  // the tree's root
    return layout;
}

MayaPlugin::MayaPlugin(const InstallLayout& layout) : plugin_(nullptr), type_(nullptr)
{
    try {
        plugin_ = mayahost::loadPlugin(layout.plugin());
    } catch (const mayahost::Error& e) {
        throw InternalError(e.what());
    }
    type_ = mayahost::findNodeType("coolwarm");
    if (!type_)
        throw InternalError("plug-in '" + layout.plugin() + "' did not register the coolwarm node");
}

MentalRayShader::MentalRayShader(const InstallLayout& layout) : library_(nullptr), shade_(nullptr)
{
    typedef int (*SetModuleHandleFn)(void*);
    typedef int (*VersionFn)();
    library_ = dlopen(layout.shaderLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library_) {
        const char* why = dlerror();
        throw InternalError("cannot load shader library '" + layout.shaderLibrary() + "': " + (why ? why : ""));
    }
    shade_ = reinterpret_cast<ShaderFn>(dlsym(library_, "zarn_coolwarm"));
    VersionFn version = reinterpret_cast<VersionFn>(dlsym(library_, "zarn_coolwarm_version"));
    SetModuleHandleFn setModuleHandle = reinterpret_cast<SetModuleHandleFn>(dlsym(library_, "miSetModuleHandle"));
    if (!shade_ || !version || !setModuleHandle)
        throw InternalError("'" + layout.shaderLibrary() + "' lacks zarn_coolwarm, its version or miSetModuleHandle");
    try {
        declaration_ = mrhost::readDeclaration(layout.declaration(), "zarn_coolwarm");
    } catch (const mrhost::DeclarationError& e) {
        throw InternalError(e.what());
    }
    // The renderer checks the library's version against the declaration's
    // before the first call.
    if (version() != declaration_.version)
        throw InternalError("zarn_coolwarm version " + std::to_string(version()) + " does not match its declaration's " +
                            std::to_string(declaration_.version));
    version_ = version();
    void* renderer = dlopen(mrhost::modulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!renderer)
        throw InternalError("cannot find the renderer module");
    setModuleHandle(renderer);
}

}  // namespace cwtool
