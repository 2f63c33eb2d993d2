// coolwarm: try the coolwarm material without Maya. The command line is a
// table of subcommands (see cli.h), each set up by its own function.
#include "cli.h"

#include "core/deliverables.h"
#include "core/errors.h"
#include "render/image.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

namespace cwtool {
namespace cli {

namespace {
std::string recordedCommandLine;
}

const std::string& commandLine() { return recordedCommandLine; }

void setCommandLine(int argc, char** argv)
{
    recordedCommandLine.clear();
    for (int i = 0; i < argc; ++i) {
        std::string word = i == 0 ? std::string("coolwarm") : std::string(argv[i]);
        const bool plain = !word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                   "0123456789@%+=:,./_-") == std::string::npos;
        if (!plain) {
            std::string quoted = "'";
            for (char c : word)
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            word = quoted + "'";
        }
        recordedCommandLine += (i ? " " : "") + word;
    }
}

Look lookOption(const std::string& text)
{
    if (text != "builtin" && text != "node" && isImagePath(text))
        return readImageLook(text);
    return loadLook(text);
}

void addLookOptions(CLI::App& command, std::string& look, std::vector<std::string>& sets)
{
    command.add_option("--look", look, "builtin (the tool's look), node (the node's and shader's defaults), "
                                       "a saved look FILE.json of NAME: VALUE, or an image the tool wrote "
                                       "(.png, .tif, .exr: the look it records)")
        ->capture_default_str()
        ->group("Material");
    command.add_option("--set", sets, "NAME=VALUE: a node attribute or shader parameter over the look, "
                                      "e.g. color=0.8,0.3,0.1; maya:NAME or mentalray:NAME reaches one side "
                                      "(repeatable)")
        ->group("Material");
}

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void checkStandardOutput()
{
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0)
        throw InputError(std::string("writing to standard output failed: ") + std::strerror(errno));
}

}  // namespace cli
}  // namespace cwtool

using namespace cwtool;
using namespace cwtool::cli;

namespace {

// The subcommands, in the order the help lists them.
Subcommand (*const kSubcommands[])(CLI::App&) = {setUpShade, setUpDescribe, setUpRender, setUpServe,
                                                         setUpExport};

int printVersion()
{
    std::printf("coolwarm tool %s\n", COOLWARM_VERSION);
    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const mayahost::PluginRecord& record = plugin.record();
    const std::string version = record.functionSets.empty() ? "unknown" : record.functionSets.front().version;
    std::printf("Maya plug-in %s: version %s, API version %s\n", layout.plugin().c_str(), version.c_str(),
                record.apiVersion.c_str());
    const MentalRayShader shader(layout);
    std::printf("mental ray shader %s: zarn_coolwarm version %d\n", layout.shaderLibrary().c_str(), shader.version());
    return kExitOk;
}

// The command word, when the first argument that is not an option names none.
std::string unknownCommand(const std::vector<Subcommand>& commands, int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!a.empty() && a[0] == '-')
            continue;
        for (const Subcommand& c : commands)
            if (a == c.app->get_name())
                return "";
        return a;
    }
    return "";
}

// Parses the command line; false, with `status` set, when the run ends here
// (help, a mistake).
bool parseCommandLine(CLI::App& app, const std::vector<Subcommand>& commands, int argc, char** argv, int& status)
{
    const std::string unknown = unknownCommand(commands, argc, argv);
    if (!unknown.empty()) {
        std::fprintf(stderr, "coolwarm: unknown command '%s'; the commands are shade, describe, render, "
                             "serve and export (see coolwarm --help)\n", unknown.c_str());
        status = kExitBadInput;
        return false;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        status = app.exit(e);  // --help
        return false;
    } catch (const CLI::ParseError& e) {
        // The subcommand whose help to point to: render's before any other.
        const CLI::App* where = &app;
        for (const Subcommand& c : commands)
            if (c.app->parsed() && (where == &app || c.app->get_name() == "render"))
                where = c.app;
        std::string why = e.what();
        std::replace(why.begin(), why.end(), '\n', ' ');
        std::fprintf(stderr, "coolwarm: %s (see coolwarm %s--help)\n", why.c_str(),
                     where == &app ? "" : (where->get_name() + " ").c_str());
        status = kExitBadInput;
        return false;
    }
    return true;
}

// Runs what the command line asked for; failures become messages and the exit status.
int runParsed(bool version, const std::vector<Subcommand>& commands)
{
    try {
        if (version)
            return printVersion();
        for (const Subcommand& c : commands)
            if (c.app->parsed())
                return c.run();
        std::fprintf(stderr, "coolwarm: a command is required: shade, describe, render, serve or export (see coolwarm --help)\n");
        return kExitBadInput;
    } catch (const InputError& e) {
        std::fprintf(stderr, "coolwarm: %s\n", e.what());
        return kExitBadInput;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "coolwarm: out of memory\n");
        return kExitInternal;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "coolwarm: internal failure: %s\n", e.what());
        return kExitInternal;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"coolwarm: shade, describe and preview the coolwarm material through its Maya plug-in and its "
                 "mental ray shader"};
    app.footer(kExitCodes);
    app.require_subcommand(0, 1);
    bool version = false;
    app.add_flag("--version", version, "Print the versions of the tool, the plug-in and the shader");
    std::vector<Subcommand> commands;
    for (const auto setUp : kSubcommands)
        commands.push_back(setUp(app));

    setCommandLine(argc, argv);
    int status = kExitOk;
    if (!parseCommandLine(app, commands, argc, argv, status))
        return status;
    return runParsed(version, commands);
}
