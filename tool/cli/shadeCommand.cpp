// `coolwarm shade` and `coolwarm describe`: the deliverables answering
// requests, and describing themselves, on standard output.
#include "cli.h"

#include "core/deliverables.h"
#include "core/errors.h"
#include "shade/describe.h"
#include "shade/shade.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

namespace cwtool {
namespace cli {

namespace {

int runShadeCommand(const std::string& file)
{
    const InstallLayout layout = findLayout();
    MayaPlugin plugin(layout);
    MentalRayShader shader(layout);
    // The replies go through std::cout alone: it need not stay in step with C's
    // stdout (which would make it write, and std::cin read, a character at a
    // time), and reading a request need not flush the replies so far.
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
    if (file.empty() || file == "-") {
        errno = 0;
        const int status = runShade(std::cin, std::cout, plugin, shader);
        // Standard input that cannot be read (a folder) is not an empty one.
        if (std::cin.bad())
            throw InputError(std::string("shade: reading standard input failed: ") + std::strerror(errno ? errno : EIO));
        return status;
    }
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw InputError("shade: '" + file + "' is a folder, not a request file");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw InputError("shade: cannot open the request file '" + file + "': " + std::strerror(errno));
    const int status = runShade(in, std::cout, plugin, shader);
    if (in.bad())
        throw InputError("shade: reading the request file '" + file + "' failed: " + std::strerror(errno));
    return status;
}

int runDescribe(const std::string& what, bool markdown)
{
    const InstallLayout layout = findLayout();
    if (markdown) {
        if (!what.empty())
            throw InputError("describe --markdown: give no node or shader: the table holds both");
        std::cout << describeMarkdown(MayaPlugin(layout), MentalRayShader(layout));
        checkStandardOutput();
    } else if (what.empty()) {
        throw InputError("describe: say node or shader (or --markdown for the attribute reference)");
    } else if (what == "node") {
        MayaPlugin plugin(layout);
        std::cout << describeNode(plugin).dump(2) << '\n';
        checkStandardOutput();
    } else {
        MentalRayShader shader(layout);
        std::cout << describeShader(shader).dump(2) << '\n';
        checkStandardOutput();
    }
    return kExitOk;
}

}  // namespace

Subcommand setUpShade(CLI::App& app)
{
    const auto file = std::make_shared<std::string>();
    CLI::App* shade = app.add_subcommand("shade", "Evaluate JSON Lines requests (a file, or standard input) and "
                                                  "write one JSON reply per line");
    shade->add_option("file", *file, "Request file; '-' or none reads standard input")->group("Input");
    shade->footer(std::string("\nRequests:\n"
                              "  {\"node\": {ATTR: VALUE, ...}, \"get\": [\"outColor\", \"outTransparency\"]}\n"
                              "  {\"shader\": {PARAM: VALUE, ...}, \"lights\": {NAME: LIGHT}, \"state\": {\"normal\": "
                              "[x,y,z], \"dir\": [...], \"point\": [...]},\n"
                              "   \"irradiance\": [r,g,b], \"result\": [r,g,b,a], \"connected\": {PARAM: VALUE}}\n"
                              "A bad line gets {\"error\": \"line N: ...\"} and the run goes on. A result that is not\n"
                              "finite is written as the string \"inf\", \"-inf\" or \"nan\". Limits: 1 MiB a line, 256\n"
                              "lights a request, 1024 samples a light.\n") +
                  kExitCodes);
    return {shade, [file] { return runShadeCommand(*file); }};
}

Subcommand setUpDescribe(CLI::App& app)
{
    const auto what = std::make_shared<std::string>();
    CLI::App* describe = app.add_subcommand("describe", "Print, as JSON, the node's schema or the shader's declaration");
    const auto markdown = std::make_shared<bool>(false);
    describe->add_option("what", *what, "node or shader")
        ->check(CLI::IsMember({"node", "shader"}))
        ->group("Input");
    describe->add_flag("--markdown", *markdown, "A Markdown table of every attribute and parameter a user sets, "
                                                 "for both deliverables")
        ->group("Output");
    describe->footer(kExitCodes);
    return {describe, [what, markdown] { return runDescribe(*what, *markdown); }};
}
}  // namespace cli
}  // namespace cwtool
