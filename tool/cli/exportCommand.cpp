// `coolwarm export`: a look in the form a host reads it (a MEL script, an
// attribute preset, a shader instance, the look file), to standard output or
// to a file written whole.
#include "cli.h"

#include "core/deliverables.h"
#include "core/errors.h"
#include "core/output.h"
#include "core/values.h"
#include "look/look.h"
#include "look/lookExport.h"
#include "render/render.h"

#include <cstdio>
#include <memory>

namespace cwtool {
namespace cli {

namespace {

struct ExportArgs {
    std::string format;
    std::string look = "builtin";
    std::vector<std::string> sets;
    std::string name;
    std::string out;
};

int runExport(const ExportArgs& args)
{
    ExportFormat format;
    if (!parseExportFormat(args.format, format))
        throw InputError("--format '" + args.format + "': expected " + kExportFormats);
    if (!args.name.empty())
        checkExportName(args.name, "--name '" + args.name + "'");
    Look look = lookOption(args.look);
    Look sets;
    for (const std::string& s : args.sets)
        sets.set(parseSetting(s));

    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const MentalRayShader shader(layout);
    // Every name must mean something to a deliverable; the look may hold
    // values for one side only.
    checkSettings(look.values, "--look '" + args.look + "'", false, Renderer::Both, plugin, shader);
    checkSettings(sets.values, "--set", false, Renderer::Both, plugin, shader);
    look.set(sets);

    const std::string text = exportLook(look, format, args.name, plugin.type(), shader.declaration());
    if (args.out.empty() || args.out == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        checkStandardOutput();
    } else {
        writeFileWhole(args.out, text, "--out '" + args.out + "'");
    }
    return kExitOk;
}

}  // namespace

Subcommand setUpExport(CLI::App& app)
{
    const auto args = std::make_shared<ExportArgs>();
    CLI::App* cmd = app.add_subcommand("export", "Write a look for the hosts: a MEL script, an attribute preset, a "
                                                 "shader instance (.mi) or the look file (JSON)");
    cmd->add_option("--format", args->format, "mel (makes a coolwarm node, or updates --name), mel-preset (for the "
                                              "Attribute Editor's Presets menu), mi (a zarn_coolwarm shader "
                                              "instance) or json (the look file)")
        ->required()
        ->group("Output");
    addLookOptions(*cmd, args->look, args->sets);
    cmd->add_option("--name", args->name, "mel: the existing node to update (default: make a new one); mi: the "
                                          "shader instance's name (default coolwarmLook)")
        ->group("Output");
    cmd->add_option("--out", args->out, "The file to write (default: standard output)")->group("Output");
    cmd->footer(kExitCodes);
    return {cmd, [args] { return runExport(*args); }};
}

}  // namespace cli
}  // namespace cwtool
