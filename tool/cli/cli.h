// cli/: the `coolwarm` command line, a front end of the engine. It owns the
// parsing of the command line (CLI11), the subcommands' options, what they
// print, and the exit status. It may include the engine's public headers
// (core/, scene/, render/) and the other front ends' (shade/shade.h,
// shade/describe.h, serve/serve.h); nothing includes it.
//
//   coolwarm shade [FILE]             evaluate JSON requests, one per line
//   coolwarm describe node|shader     what the hosts see of the deliverables
//   coolwarm describe --markdown      the attribute reference, a table
//   coolwarm render [options]         a preview image of a scene, or a contact sheet
//   coolwarm serve [options]          the lookdev page on a local web server
//   coolwarm export --format F        a look for the hosts: MEL, a preset, .mi, JSON
//   coolwarm --version                the versions of the tool and the deliverables
//
// Every command loads the built deliverables the way their hosts do: the Maya
// plug-in through the Maya stand-in, the shader library bound to the stand-in
// renderer. Exit status: 0 success, 1 bad input, 2 internal failure.
#ifndef COOLWARM_TOOL_CLI_H
#define COOLWARM_TOOL_CLI_H

#include "look/look.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <functional>

namespace cwtool {
namespace cli {

inline constexpr char kExitCodes[] =
    "\nExit status:\n"
    "  0  success\n"
    "  1  bad input (a request, an option, a scene file or the output path)\n"
    "  2  internal failure (the deliverables could not be loaded or failed)\n";

// One subcommand: its place on the command line, and what runs it once the
// command line is parsed (returning the exit status).
struct Subcommand {
    CLI::App* app;
    std::function<int()> run;
};

// Each adds its subcommand, with its options, to `app`.
Subcommand setUpShade(CLI::App& app);     // shadeCommand.cpp
Subcommand setUpDescribe(CLI::App& app);  // shadeCommand.cpp
Subcommand setUpRender(CLI::App& app);    // renderCommand.cpp
Subcommand setUpServe(CLI::App& app);     // serveCommand.cpp
Subcommand setUpExport(CLI::App& app);    // exportCommand.cpp

// The command line as the shell would take it back (words quoted where
// needed), recorded by main.
const std::string& commandLine();
void setCommandLine(int argc, char** argv);

// --look: builtin, node, a look file or an image that records its look.
Look lookOption(const std::string& text);
// The --look and --set options of a command that takes a look.
void addLookOptions(CLI::App& command, std::string& look, std::vector<std::string>& sets);

// Seconds since `start`.
double since(std::chrono::steady_clock::time_point start);

// What was printed must have reached its destination (a full disk): an output
// that failed is a failed run. Checked right after the writing, while errno
// still holds the reason.
void checkStandardOutput();

}  // namespace cli
}  // namespace cwtool

#endif
