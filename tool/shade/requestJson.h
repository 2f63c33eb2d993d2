// Internal to shade/: a request's JSON, kept in memory this thread reuses from
// line to line, and the readers of its values. Only shade/'s own files include it.
#ifndef COOLWARM_TOOL_SHADE_REQUESTJSON_H
#define COOLWARM_TOOL_SHADE_REQUESTJSON_H

#include "core/deliverables.h"
#include "core/errors.h"
#include "core/workLimits.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace cwtool {
namespace shadeparts {

// ---------------------------------------------------------------------------
// Memory for requests

// A request's JSON values are taken from blocks of memory this thread keeps
// from line to line: taking one is a step along a block, giving one back only
// counts it, and once all are back the blocks are used again from the start.
// A request so costs no heap allocation once the blocks have grown to it.
class RequestMemory {
public:
    static RequestMemory& ofThisThread()
    {
        thread_local RequestMemory memory;
        return memory;
    }

    void* take(std::size_t bytes, std::size_t alignment)
    {
        for (;;) {
            if (current_ == blocks_.size())
                blocks_.push_back(Block{std::max(bytes, kBlockBytes)});
            Block& block = blocks_[current_];
            const std::size_t at = (used_ + alignment - 1) / alignment * alignment;
            if (at + bytes <= block.size) {
                used_ = at + bytes;
                ++taken_;
                return block.bytes.get() + at;
            }
            ++current_;
            used_ = 0;
        }
    }

    void giveBack()
    {
        if (--taken_ == 0)
            current_ = used_ = 0;
    }

private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;
    struct Block {
        explicit Block(std::size_t n) : bytes(new char[n]), size(n) {}
        std::unique_ptr<char[]> bytes;  // aligned for any fundamental type
        std::size_t size;
    };
    std::vector<Block> blocks_;
    std::size_t current_ = 0, used_ = 0;  // the block taken from, and how far
    std::size_t taken_ = 0;               // not yet given back
};

template <class T>
struct RequestAllocator {
    using value_type = T;
    RequestAllocator() = default;
    template <class U>
    RequestAllocator(const RequestAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(RequestMemory::ofThisThread().take(n * sizeof(T), alignof(T))); }
    void deallocate(T*, std::size_t) { RequestMemory::ofThisThread().giveBack(); }
    friend bool operator==(const RequestAllocator&, const RequestAllocator&) { return true; }
    friend bool operator!=(const RequestAllocator&, const RequestAllocator&) { return false; }
};

// A parsed request: nlohmann-json's own values, in request memory. Values stay
// on the thread that parsed them.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, double,
                                  RequestAllocator>;

// ---------------------------------------------------------------------------
// Values
//
// `what` is a function giving the name of the value for a message: the name is
// spelled out only when there is something wrong with the value.

// A JSON number that single precision holds.
template <class What>
double singleOf(const Json& v, const What& what)
{
    if (!v.is_number())
        throw InputError(what() + " takes a number, got " + std::string(v.type_name()));
    const double d = v.get<double>();
    if (!isSingle(d))
        throw InputError(what() + ": " + notSingle(v.dump()));
    return d;
}

// A JSON whole number from `least` to `most`.
template <class What>
int wholeOf(const Json& v, const What& what, int least, int most)
{
    const bool inRange =
        v.is_number_integer() &&
        (v.is_number_unsigned() ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(most) &&
                                      v.get<std::uint64_t>() >= static_cast<std::uint64_t>(std::max(least, 0))
                                : v.get<std::int64_t>() >= least && v.get<std::int64_t>() <= most);
    if (!inRange)
        throw InputError(what() + " takes a whole number from " + std::to_string(least) + " to " +
                         std::to_string(most) + ", got " + v.dump());
    return static_cast<int>(v.get<std::int64_t>());
}

// Refuses an array longer than `limit` before anything is made of it.
template <class What>
void requireAtMost(const Json& v, std::size_t limit, const What& what)
{
    if (v.size() > limit)
        throw InputError(what() + " has " + std::to_string(v.size()) + " entries, more than the limit of " +
                         std::to_string(limit));
}

template <class What>
void requireObject(const Json& v, const What& what)
{
    if (!v.is_object())
        throw InputError(what() + " must be a JSON object, got " + std::string(v.type_name()));
}

// Hands `take` the numbers of a JSON number, boolean, or array of numbers;
// returns how many there were.
template <class What, class Take>
std::size_t eachNumber(const Json& v, const What& what, const Take& take)
{
    if (v.is_boolean()) {
        take(v.get<bool>() ? 1.0 : 0.0);
        return 1;
    }
    if (v.is_number()) {
        take(singleOf(v, what));
        return 1;
    }
    if (v.is_array()) {
        for (const Json& e : v) {
            if (!e.is_number())
                throw InputError(what() + " takes numbers, got " + std::string(e.type_name()) + " in its array");
            take(singleOf(e, what));
        }
        return v.size();
    }
    throw InputError(what() + " takes a number or an array of numbers, got " + std::string(v.type_name()));
}

// The numbers into `out`, as many as were given.
template <class What>
void numbersOf(const Json& v, const What& what, std::vector<double>& out)
{
    out.clear();
    eachNumber(v, what, [&out](double x) { out.push_back(x); });
}

// Up to four numbers (a colour's), and how many were given.
struct Numbers {
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::size_t count = 0;
};

template <class What>
Numbers fewNumbersOf(const Json& v, const What& what)
{
    Numbers n;
    std::size_t i = 0;
    n.count = eachNumber(v, what, [&](double x) {
        if (i < 4)
            n.v[i++] = static_cast<float>(x);
    });
    return n;
}

template <class What>
Numbers triple(const Json& v, const What& what)
{
    const Numbers n = fewNumbersOf(v, what);
    if (!v.is_array() || n.count != 3)
        throw InputError(what() + " takes an array of 3 numbers");
    return n;
}

template <class What>
miVector vectorOf(const Json& v, const What& what)
{
    const Numbers n = triple(v, what);
    return miVector{n.v[0], n.v[1], n.v[2]};
}

template <class What>
miColor colourOf(const Json& v, const What& what, float alpha)
{
    const Numbers n = fewNumbersOf(v, what);
    if (!v.is_array() || (n.count != 3 && n.count != 4))
        throw InputError(what() + " takes an array of 3 or 4 numbers");
    return miColor{n.v[0], n.v[1], n.v[2], n.count == 4 ? n.v[3] : alpha};
}

// A name for a message that is known as it stands.
inline auto named(const char* name)
{
    return [name] { return std::string(name); };
}

}  // namespace shadeparts
}  // namespace cwtool

#endif
