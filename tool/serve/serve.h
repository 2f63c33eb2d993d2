// serve/: the lookdev server, a front end of the engine. It owns the HTTP
// server (cpp-httplib), its routes and render gate, the page's schema, and the
// page itself (web/, built into the executable through webAssets.h); serve.h is
// its only public header, for cli/ (the request fuzzer alone also includes
// boundedServer.h, lookdev.h and renderGate.h, to run the router without a port). It may include the engine's public headers
// and shade/describe.h (the schema holds both descriptions); the engine never
// includes it.
//
// `coolwarm serve`: the lookdev page and the JSON API it renders through.
//
//   GET  /                 the page (and its scripts, /style.css)
//   GET  /api/version      the tool's and the deliverables' versions
//   GET  /api/schema       the material's controls, the scenes, the limits
//   POST /api/render       settings in (JSON), a PNG or EXR out; a page names
//                          itself in X-Coolwarm-Client so that its requests
//                          supersede only its own
//   POST /api/export       settings in (JSON), the look as MEL, a preset, .mi or JSON
#ifndef COOLWARM_TOOL_SERVE_H
#define COOLWARM_TOOL_SERVE_H

#include <string>
#include <vector>

namespace cwtool {

struct ServeOptions {
    std::string host = "127.0.0.1";
    int port = 8080;                  // 0: any free port
    std::vector<std::string> scenes;  // OBJ and scene (.json) files the page may show
    // More names the Host check accepts (a name or address that reaches this
    // machine, such as a DNS alias), besides loopback and, listening on every
    // address, the machine's own name and addresses.
    std::vector<std::string> allowHosts;
};

// Serves until SIGINT or SIGTERM; returns the exit status.
int runServe(const ServeOptions& options);

}  // namespace cwtool

#endif
