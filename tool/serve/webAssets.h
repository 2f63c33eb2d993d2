// The lookdev page's files, built into the executable from tool/serve/web/.
#ifndef COOLWARM_TOOL_WEBASSETS_H
#define COOLWARM_TOOL_WEBASSETS_H

#include <cstddef>

namespace cwtool {

struct WebAsset {
    const char* path;  // as requested, e.g. "/app.js"
    const char* type;  // Content-Type
    const char* body;
    std::size_t size;
};

extern const WebAsset kWebAssets[];
extern const int kWebAssetCount;

}  // namespace cwtool

#endif
