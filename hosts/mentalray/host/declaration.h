// Shader declarations in the renderer's scene language, and the parameter
// blocks the renderer builds from them.
//
// Enough of the language for `declare shader ... end declare` blocks: typed
// parameters with defaults, arrays, version and apply, comments, and the `#:`
// hints that Maya's node factory reads after a parameter; and for shader
// instances, `shader "NAME" "SHADER" ( "PARAMETER" VALUE..., ... )`.
#ifndef MR_STANDIN_DECLARATION_H
#define MR_STANDIN_DECLARATION_H

#include "mrHost.h"

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace mrhost {

// A fault in a declaration or in a value for it; the message names the place.
class DeclarationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Parameter {
    std::string name;
    std::string type;        // boolean, integer, scalar, vector, color, or a tag type (light, shader, ...)
    bool array = false;      // `array TYPE`: index, count and element field
    int line = 0;
    std::vector<double> defaults;          // booleans as 0 or 1; empty when none
    std::map<std::string, double> hints;   // from `#:` comments
    std::size_t offset = 0;                // of the value, or of i_NAME for an array
    std::size_t size = 0;                  // bytes in the block (an array: i_, n_ and one element)

    std::size_t elementOffset() const { return array ? offset + 8 : offset; }
    // How many numbers a value of this type takes.
    int arity() const;
};

struct Declaration {
    std::string name;
    std::string returnType;
    int version = 0;
    std::vector<std::string> apply;
    std::vector<Parameter> parameters;
    std::map<std::string, double> hints;   // `#:` lines of the declaration itself (nodeid)
    std::size_t blockSize = 0;  // the declared block, without array storage
    std::string file;
    int line = 0;

    const Parameter* find(const std::string& name) const;
};

// Reads every declaration of a file; throws DeclarationError ("file:line: ...").
MR_STANDIN_API std::vector<Declaration> readDeclarations(const std::string& path);
MR_STANDIN_API std::vector<Declaration> parseDeclarations(const std::string& text, const std::string& fileName);
// The one declaration of that name in the file.
MR_STANDIN_API Declaration readDeclaration(const std::string& path, const std::string& shaderName);

// One shader instance: its name, the shader it instances and the parameter
// values it gives, in the file's order (booleans as 0 or 1).
struct ShaderInstance {
    std::string name;
    std::string shader;
    int line = 0;
    std::vector<std::pair<std::string, std::vector<double>>> values;
};

// Every shader instance of a text (declarations in it are read and checked,
// and left out); throws DeclarationError ("file:line: ...").
MR_STANDIN_API std::vector<ShaderInstance> parseShaderInstances(const std::string& text, const std::string& fileName);
// Checks an instance against its shader's declaration: the shader's name,
// every parameter declared and a value (not an array), given once, in the
// declaration's order, with the values its type takes. Throws
// DeclarationError naming the instance's file, line and the parameter.
MR_STANDIN_API void checkShaderInstance(const ShaderInstance& instance, const Declaration& declaration,
                                        const std::string& fileName);

// Size in bytes of one value of a declaration type.
MR_STANDIN_API std::size_t typeSize(const std::string& type);

// Builds a parameter block: the declaration's defaults, then the values given
// by name, then the array elements appended after the block with each array's
// index pointing at them. The builder refers to the declaration, which must
// outlive it.
class MR_STANDIN_API BlockBuilder {
public:
    explicit BlockBuilder(const Declaration& declaration);
    explicit BlockBuilder(Declaration&&) = delete;

    // Numbers for a parameter; a colour takes 3 or 4 (alpha 1 when 3).
    void set(const std::string& name, const std::vector<double>& values);
    void setArray(const std::string& name, const std::vector<miTag>& elements);
    // The same for a parameter of the declaration, found beforehand.
    void set(const Parameter& parameter, const std::vector<double>& values);
    void setArray(const Parameter& parameter, const std::vector<miTag>& elements);
    // Forgets every value and array given, keeping the memory for the next block.
    void clear();

    // The block plus the storage of every array.
    std::size_t bytes() const;
    void write(char* block) const;

    const Declaration& declaration() const { return *declaration_; }

private:
    const Parameter& require(const std::string& name) const;
    std::size_t indexOf(const Parameter& parameter);
    const Declaration* declaration_;  // the caller's, which outlives the builder
    // By parameter index; empty for a value or an array not given.
    std::vector<std::vector<double>> values_;
    std::vector<std::vector<miTag>> arrays_;
};

}  // namespace mrhost

#endif
