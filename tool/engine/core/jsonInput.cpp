#include "jsonInput.h"

#include "workLimits.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace cwtool {

namespace {

// The length of the UTF-8 sequence starting at s[i], or 0 when it is not a
// well-formed one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t utf8Length(const unsigned char* s, std::size_t i, std::size_t n)
{
    const unsigned c = s[i];
    if (c < 0x80)
        return 1;
    std::size_t len;
    unsigned lo = 0x80, hi = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > n || s[i + 1] < lo || s[i + 1] > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (s[i + k] < 0x80 || s[i + k] > 0xBF)
            return 0;
    return len;
}

bool numberChar(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'; }

}  // namespace

void checkJsonText(const std::string& text, std::size_t maxBytes, const std::string& what)
{
    if (text.size() > maxBytes)
        throw InputError(what + ": longer than the limit of " + std::to_string(maxBytes) + " bytes");
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto at = [&](std::size_t i) { return what + ": at byte " + std::to_string(i + 1) + ": "; };
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < n;) {
        const std::size_t len = utf8Length(s, i, n);
        if (len == 0)
            throw InputError(at(i) + "not valid UTF-8");
        const char c = static_cast<char>(s[i]);
        if (inString) {
            if (c == '\\' && i + 1 < n && s[i + 1] < 0x80)
                i += 2;  // an escaped character, quote included
            else {
                inString = c != '"';
                i += len;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxJsonDepth)
                throw InputError(at(i) + "nests deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            // A number the parser could not hold (1e400) is refused here; the
            // readers of each field refuse the rest beyond single precision,
            // naming the field.
            std::size_t end = i;
            while (end < n && numberChar(text[end]))
                ++end;
            const std::string word = text.substr(i, end - i);
            if (!std::isfinite(std::strtod(word.c_str(), nullptr)))
                throw InputError(at(i) + notSingle(word.size() > 40 ? word.substr(0, 37) + "..." : word));
            i = end;
            continue;
        }
        i += len;
    }
}

std::string jsonErrorText(const nlohmann::json::exception& e)
{
    const char* message = e.what();
    const char* id = std::strstr(message, "] ");  // "[json.exception.parse_error.101] "
    std::string why = id ? id + 2 : message;
    // "parse error at line 1, column 3: syntax error while parsing value - ..."
    const std::size_t syntax = why.find("syntax error");
    return syntax == std::string::npos ? why : why.substr(syntax);
}

}  // namespace cwtool
