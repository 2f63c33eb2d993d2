// The shader declaration reader, and a parameter block built and written from
// every declaration it accepts: the declared defaults, then values and array
// elements taken from the rest of the input.
#include "declaration.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::string text = input.ConsumeRandomLengthString(1 << 16);
    // The same text as shader instances, each checked against the first
    // declaration it holds.
    try {
        const std::vector<mrhost::ShaderInstance> instances = mrhost::parseShaderInstances(text, "fuzz.mi");
        const std::vector<mrhost::Declaration> declared = mrhost::parseDeclarations(text, "fuzz.mi");
        for (const mrhost::ShaderInstance& i : instances)
            if (!declared.empty())
                try {
                    mrhost::checkShaderInstance(i, declared.front(), "fuzz.mi");
                } catch (const mrhost::DeclarationError&) {
                }
    } catch (const mrhost::DeclarationError&) {
    }
    std::vector<mrhost::Declaration> declarations;
    try {
        declarations = mrhost::parseDeclarations(text, "fuzz.mi");
    } catch (const mrhost::DeclarationError&) {
        return 0;
    }
    for (const mrhost::Declaration& d : declarations) {
        mrhost::BlockBuilder builder(d);
        for (const mrhost::Parameter& p : d.parameters) {
            try {
                if (p.array) {
                    std::vector<miTag> tags(input.ConsumeIntegralInRange<std::size_t>(0, 8));
                    for (miTag& t : tags)
                        t = input.ConsumeIntegral<miTag>();
                    builder.setArray(p.name, tags);
                } else {
                    std::vector<double> values(input.ConsumeIntegralInRange<std::size_t>(0, 5));
                    for (double& v : values)
                        v = input.ConsumeFloatingPoint<double>();
                    builder.set(p.name, values);
                }
            } catch (const mrhost::DeclarationError&) {
            }
        }
        std::vector<char> block(builder.bytes());
        builder.write(block.data());
    }
    return 0;
}
