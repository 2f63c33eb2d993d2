// The two built deliverables, loaded the way their hosts load them: the Maya
// plug-in through the Maya stand-in, the shader library by the platform loader
// and bound to the stand-in renderer through miSetModuleHandle.
#ifndef COOLWARM_TOOL_DELIVERABLES_H
#define COOLWARM_TOOL_DELIVERABLES_H

#include "declaration.h"
#include "mayaHost.h"
#include "mrHost.h"

#include <string>
#include <vector>

namespace cwtool {

// Where the install (or build) tree puts things, found from the executable.
struct InstallLayout {
    std::string root;
    std::string plugin() const { return root + "/plug-ins/coolwarm.so"; }
    std::string shaderLibrary() const { return root + "/mentalray/lib/zarn_coolwarm.so"; }
    std::string declaration() const { return root + "/mentalray/include/zarn_coolwarm.mi"; }
};

InstallLayout findLayout();

class MayaPlugin {
public:
    explicit MayaPlugin(const InstallLayout& layout);
    const mayahost::NodeType& type() const { return *type_; }
    const mayahost::PluginRecord& record() const { return *plugin_; }

private:
    mayahost::PluginRecord* plugin_;
    const mayahost::NodeType* type_;
};

class MentalRayShader {
public:
    typedef miBoolean (*ShaderFn)(miColor*, miState*, void*);

    explicit MentalRayShader(const InstallLayout& layout);
    const mrhost::Declaration& declaration() const { return declaration_; }
    int version() const { return version_; }
    miBoolean shade(miColor* result, mrhost::ShaderCall& call) const
    {
        return shade_(result, &call.state(), call.parameters());
    }

private:
    void* library_;
    ShaderFn shade_;
    mrhost::Declaration declaration_;
    int version_ = 0;
};

}  // namespace cwtool

#endif
