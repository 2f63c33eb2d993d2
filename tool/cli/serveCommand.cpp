// `coolwarm serve`: the lookdev page, served by the serve front end.
#include "cli.h"

#include "serve/serve.h"

#include <memory>

namespace cwtool {
namespace cli {

Subcommand setUpServe(CLI::App& app)
{
    const auto options = std::make_shared<ServeOptions>();
    CLI::App* serveCmd = app.add_subcommand("serve", "Serve the lookdev page: tune the material in a browser and see "
                                                     "both renderers answer");
    serveCmd->add_option("--host", options->host, "Address to listen on (another than loopback lets other "
                                                      "machines in; 0.0.0.0 or :: listens on every address)")
        ->capture_default_str()
        ->group("Server");
    serveCmd->add_option("--port", options->port, "Port to listen on (0: any free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str()
        ->group("Server");
    serveCmd->add_option("--allow-host", options->allowHosts, "Another name or address of this machine that "
                                                              "browsers may use to reach the page (repeatable)")
        ->group("Server");
    serveCmd->add_option("--scene", options->scenes, "OBJ file or scene file (.json) the page may show, besides the "
                                                         "built-in scene and the swatch (repeatable)")
        ->group("Scene");
    serveCmd->footer(std::string("\nThe page and its JSON API (GET /api/schema, GET /api/version, POST /api/render) "
                                 "answer only\nrequests addressed to the served host and port. Ctrl-C stops.\n") +
                     kExitCodes);
    return {serveCmd, [options] { return runServe(*options); }};
}

}  // namespace cli
}  // namespace cwtool
