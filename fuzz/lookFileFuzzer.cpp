// Look files: the JSON reading path and the material's reader; every value
// handed on is a finite single-precision number.
#include "fuzzFile.h"

#include "core/errors.h"
#include "core/workLimits.h"
#include "look/look.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = writeFuzzFile(".json", data, size);
    try {
        for (const cwtool::Setting& s : cwtool::loadLookFile(path).values) {
            if (s.numbers.empty() || s.numbers.size() > 3)
                std::abort();
            for (double v : s.numbers)
                if (!cwtool::isSingle(v))
                    std::abort();
        }
    } catch (const cwtool::InputError&) {
    }
    return 0;
}
