#include "reply.h"

#include "core/values.h"
#include "core/workLimits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace cwtool {
namespace shadeparts {

// A number that reads back as the same float. JSON has no infinity or NaN: a
// result that is not finite is written as the string "inf", "-inf" or "nan".
void appendFloat(std::string& out, float f)
{
    char text[kFloatText];
    const std::size_t n = formatFloat(f, text);
    if (std::isfinite(f)) {
        out.append(text, n);
    } else {
        out += '"';
        out.append(text, n);
        out += '"';
    }
}

void appendFloats(std::string& out, const float* v, int count)
{
    if (count == 1) {
        appendFloat(out, v[0]);
        return;
    }
    out += '[';
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ", ";
        appendFloat(out, v[i]);
    }
    out += ']';
}

// An object key: the names this tool writes need no escaping, anything else
// goes through the JSON writer.
void appendKey(std::string& out, const std::string& key)
{
    const bool plain = std::all_of(key.begin(), key.end(), [](char c) {
        return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
    });
    if (plain) {
        out += '"';
        out += key;
        out += '"';
    } else {
        out += nlohmann::json(key).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

// What the JSON reader says of a line that is not JSON, without its own prefix.
std::string notJson(const nlohmann::json::exception& e)
{
    if (e.id == 406) {  // a number beyond double precision: "... parsing '1e400'"
        const std::string what = e.what();
        const std::size_t open = what.find('\''), close = what.rfind('\'');
        return notSingle(open < close ? what.substr(open + 1, close - open - 1) : "a number");
    }
    const char* at = std::strstr(e.what(), "syntax error");
    return std::string("not JSON: ") + (at ? at : e.what());
}
}  // namespace shadeparts
}  // namespace cwtool
