// Reading shader declarations and laying out parameter blocks the way the
// renderer does: members in declaration order, C layout, everything 4-byte
// aligned, an array as its index, its count and one element.
#include "declaration.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace mrhost {

namespace {

struct Token {
    enum Kind { Word, String, Number, Punct, Hint, End } kind;
    std::string text;
    int line;
};

class Lexer {
public:
    Lexer(const std::string& text, const std::string& file) : text_(text), file_(file) {}

    std::vector<Token> tokens()
    {
        std::vector<Token> out;
        while (true) {
            skipSpace();
            if (pos_ >= text_.size()) {
                out.push_back({Token::End, "", line_});
                return out;
            }
            const char c = text_[pos_];
            if (c == '#') {
                const std::size_t end = text_.find('\n', pos_);
                const std::string comment = text_.substr(pos_, end == std::string::npos ? std::string::npos : end - pos_);
                if (comment.compare(0, 2, "#:") == 0)
                    out.push_back({Token::Hint, comment.substr(2), line_});
                pos_ = end == std::string::npos ? text_.size() : end;
            } else if (c == '"') {
                const std::size_t end = text_.find('"', pos_ + 1);
                const std::size_t newline = text_.find('\n', pos_ + 1);
                if (end == std::string::npos || (newline != std::string::npos && newline < end))
                    fail("unterminated string");
                out.push_back({Token::String, text_.substr(pos_ + 1, end - pos_ - 1), line_});
                pos_ = end + 1;
            } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.') {
                const std::size_t start = pos_++;
                while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                               text_[pos_] == '.' || text_[pos_] == '-' || text_[pos_] == '+'))
                    ++pos_;
                out.push_back({Token::Number, text_.substr(start, pos_ - start), line_});
            } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$') {
                const std::size_t start = pos_++;
                while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                    ++pos_;
                out.push_back({Token::Word, text_.substr(start, pos_ - start), line_});
            } else if (std::strchr("(),;{}", c)) {
                out.push_back({Token::Punct, std::string(1, c), line_});
                ++pos_;
            } else {
                fail(std::string("unexpected character '") + c + "'");
            }
        }
    }

private:
    void skipSpace()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
            if (text_[pos_] == '\n')
                ++line_;
            ++pos_;
        }
    }
    [[noreturn]] void fail(const std::string& what)
    {
        throw DeclarationError(file_ + ":" + std::to_string(line_) + ": " + what);
    }

    const std::string& text_;
    const std::string& file_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

const char* const kIntRange = "-2147483648 to 2147483647";

// Whether a number can be stored as a value of a declaration type: integers
// and booleans whole and within 32 bits, everything else a finite float.
bool fitsValue(std::string_view type, double v)
{
    if (type == "integer" || type == "boolean")
        return v == std::floor(v) && v >= -2147483648.0 && v <= 2147483647.0;
    return std::isfinite(v) && std::fabs(v) <= static_cast<double>(FLT_MAX);
}

std::string valueRange(std::string_view type)
{
    if (type == "integer" || type == "boolean")
        return std::string("is not a whole number from ") + kIntRange;
    return "is not a finite single-precision number (largest magnitude 3.40282347e+38)";
}

bool isValueType(std::string_view t)
{
    return t == "boolean" || t == "integer" || t == "scalar" || t == "vector" || t == "color";
}

std::string formatNumber(double v)
{
    std::ostringstream s;
    s.precision(9);
    s << v;
    return s.str();
}

bool isTagType(std::string_view t)
{
    static const char* const kTags[] = {"light", "shader", "string", "texture", "colortexture", "scalartexture",
                                        "vectortexture", "lightprofile", "data", "material", "geometry"};
    for (const char* k : kTags)
        if (t == k)
            return true;
    return false;
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const std::string& file) : tokens_(std::move(tokens)), file_(file) {}

    std::vector<ShaderInstance> instances()
    {
        std::vector<ShaderInstance> out;
        while (peek().kind != Token::End) {
            if (peek().kind == Token::Hint) {
                next();
                continue;
            }
            if (peek().kind == Token::Word && peek().text == "declare") {
                next();
                shader();
                continue;
            }
            expectWord("shader");
            out.push_back(instance());
        }
        return out;
    }

    std::vector<Declaration> declarations()
    {
        std::vector<Declaration> out;
        while (peek().kind != Token::End) {
            if (peek().kind == Token::Hint) {  // a hint outside a parameter list means nothing
                next();
                continue;
            }
            expectWord("declare");
            out.push_back(shader());
        }
        return out;
    }

private:
    Declaration shader()
    {
        Declaration d;
        d.file = file_;
        d.line = peek().line;
        expectWord("shader");
        // The result type is optional; a bare name returns a colour.
        if (peek().kind == Token::Word) {
            d.returnType = next().text;
            if (!isValueType(d.returnType))
                fail(previous(), "unsupported result type '" + d.returnType + "'");
        } else {
            d.returnType = "color";
        }
        d.name = expect(Token::String, "a quoted shader name").text;
        expectPunct("(");
        if (!isPunct(")")) {
            while (true) {
                d.parameters.push_back(parameter(d));
                if (isPunct(",")) {
                    next();
                    hints(d.parameters.back().hints);
                    continue;
                }
                hints(d.parameters.back().hints);
                break;
            }
        }
        expectPunct(")");
        while ((peek().kind == Token::Word && peek().text != "end") || peek().kind == Token::Hint) {
            if (peek().kind == Token::Hint) {
                hints(d.hints);  // `#: nodeid N` for Maya's node factory
                continue;
            }
            const Token& t = next();
            if (t.text == "version") {
                const Token& n = expect(Token::Number, "a version number");
                const double v = number(n);
                if (!fitsValue("integer", v))
                    fail(n, "version " + n.text + " is not a whole number from " + kIntRange);
                d.version = static_cast<int>(v);
            } else if (t.text == "apply") {
                d.apply.push_back(expect(Token::Word, "what the shader applies to").text);
                while (isPunct(",")) {
                    next();
                    d.apply.push_back(expect(Token::Word, "what the shader applies to").text);
                }
            } else {
                fail(t, "unexpected '" + t.text + "' in the declaration of \"" + d.name + "\"");
            }
        }
        expectWord("end");
        expectWord("declare");
        layOut(d);
        return d;
    }

    // After the word `shader`: "NAME" "SHADER" ( "PARAMETER" VALUE..., ... )
    ShaderInstance instance()
    {
        ShaderInstance i;
        i.line = previous().line;
        i.name = expect(Token::String, "a quoted shader instance name").text;
        i.shader = expect(Token::String, "the quoted name of the shader it instances").text;
        expectPunct("(");
        if (!isPunct(")")) {
            while (true) {
                const Token& name = expect(Token::String, "a quoted parameter name");
                std::vector<double> values;
                if (peek().kind == Token::Word) {
                    const Token& v = next();
                    if (v.text == "on" || v.text == "true")
                        values.push_back(1.0);
                    else if (v.text == "off" || v.text == "false")
                        values.push_back(0.0);
                    else
                        fail(v, "a boolean value is on or off, not '" + v.text + "'");
                } else {
                    while (peek().kind == Token::Number)
                        values.push_back(number(next()));
                }
                if (values.empty())
                    fail(peek(), "parameter \"" + name.text + "\" has no value" + describe(peek()));
                i.values.push_back({name.text, values});
                if (!isPunct(","))
                    break;
                next();
            }
        }
        expectPunct(")");
        return i;
    }

    Parameter parameter(const Declaration& d)
    {
        Parameter p;
        p.line = peek().line;
        std::string type = expect(Token::Word, "a parameter type").text;
        if (type == "array") {
            p.array = true;
            type = expect(Token::Word, "the array's element type").text;
        }
        if (type == "struct")
            fail(previous(), "struct parameters are not supported");
        if (!isValueType(type) && !isTagType(type))
            fail(previous(), "unknown parameter type '" + type + "'");
        p.type = type;
        p.name = expect(Token::String, "a quoted parameter name").text;
        for (const Parameter& other : d.parameters)
            if (other.name == p.name)
                fail(previous(), "parameter \"" + p.name + "\" is declared twice");
        if (peek().kind == Token::Word && peek().text == "default") {
            const Token& at = next();
            if (p.array || !isValueType(p.type))
                fail(at, "parameter \"" + p.name + "\" cannot have a default");
            if (p.type == "boolean") {
                const Token& v = next();
                if (v.text == "on" || v.text == "true" || v.text == "1")
                    p.defaults.push_back(1.0);
                else if (v.text == "off" || v.text == "false" || v.text == "0")
                    p.defaults.push_back(0.0);
                else
                    fail(v, "a boolean default is on or off, not '" + v.text + "'");
            } else {
                while (peek().kind == Token::Number) {
                    const Token& v = next();
                    p.defaults.push_back(number(v));
                    if (!fitsValue(p.type, p.defaults.back()))
                        fail(v, "default " + v.text + " of parameter \"" + p.name + "\" " + valueRange(p.type));
                }
                const int n = static_cast<int>(p.defaults.size());
                const bool colourWithoutAlpha = p.type == "color" && n == 3;
                if (n != p.arity() && !colourWithoutAlpha)
                    fail(at, "parameter \"" + p.name + "\" of type " + p.type + " takes " +
                                 std::to_string(p.arity()) + " default values, got " + std::to_string(n));
                if (colourWithoutAlpha)
                    p.defaults.push_back(1.0);
            }
        }
        return p;
    }

    // `#: min 0 max 1 softmin 0 softmax 1` after a parameter, `#: nodeid N` in
    // the declaration's body.
    void hints(std::map<std::string, double>& into)
    {
        while (peek().kind == Token::Hint) {
            const Token& h = next();
            std::istringstream words(h.text);
            std::string key, value;
            while (words >> key) {
                if (!(words >> value))
                    fail(h, "hint '" + key + "' has no value");
                char* end = nullptr;
                const double v = std::strtod(value.c_str(), &end);
                if (end == value.c_str() || *end || !std::isfinite(v))
                    into[key] = 0.0;  // a word-valued hint, kept by name only
                else
                    into[key] = v;
            }
        }
    }

    void layOut(Declaration& d)
    {
        std::size_t offset = 0;
        for (Parameter& p : d.parameters) {
            p.offset = offset;
            p.size = p.array ? 8 + typeSize(p.type) : typeSize(p.type);
            offset += p.size;
        }
        d.blockSize = offset;
    }

    double number(const Token& t)
    {
        char* end = nullptr;
        const double v = std::strtod(t.text.c_str(), &end);
        if (end == t.text.c_str() || *end)
            fail(t, "'" + t.text + "' is not a number");
        return v;
    }

    const Token& peek() const { return tokens_[pos_]; }
    const Token& previous() const { return tokens_[pos_ ? pos_ - 1 : 0]; }
    const Token& next()
    {
        const Token& t = tokens_[pos_];
        if (t.kind != Token::End)
            ++pos_;
        return t;
    }
    bool isPunct(const char* p) const { return peek().kind == Token::Punct && peek().text == p; }
    const Token& expect(Token::Kind kind, const std::string& what)
    {
        if (peek().kind != kind)
            fail(peek(), "expected " + what + describe(peek()));
        return next();
    }
    void expectWord(const char* word)
    {
        if (peek().kind != Token::Word || peek().text != word)
            fail(peek(), std::string("expected '") + word + "'" + describe(peek()));
        next();
    }
    void expectPunct(const char* p)
    {
        if (!isPunct(p))
            fail(peek(), std::string("expected '") + p + "'" + describe(peek()));
        next();
    }
    static std::string describe(const Token& t)
    {
        return t.kind == Token::End ? ", found the end of the file" : ", found '" + t.text + "'";
    }
    [[noreturn]] void fail(const Token& at, const std::string& what)
    {
        throw DeclarationError(file_ + ":" + std::to_string(at.line) + ": " + what);
    }

    std::vector<Token> tokens_;
    const std::string& file_;
    std::size_t pos_ = 0;
};

}  // namespace

int Parameter::arity() const
{
    const std::string_view t = type;
    if (t == "vector")
        return 3;
    if (t == "color")
        return 4;
    return 1;
}

std::size_t typeSize(const std::string& type)
{
    const std::string_view t = type;
    if (t == "vector")
        return 12;
    if (t == "color")
        return 16;
    return 4;  // boolean, integer, scalar and every tag
}

const Parameter* Declaration::find(const std::string& name) const
{
    for (const Parameter& p : parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

std::vector<Declaration> parseDeclarations(const std::string& text, const std::string& fileName)
{
    return Parser(Lexer(text, fileName).tokens(), fileName).declarations();
}

std::vector<ShaderInstance> parseShaderInstances(const std::string& text, const std::string& fileName)
{
    return Parser(Lexer(text, fileName).tokens(), fileName).instances();
}

void checkShaderInstance(const ShaderInstance& instance, const Declaration& declaration, const std::string& fileName)
{
    const std::string where = fileName + ":" + std::to_string(instance.line) + ": shader \"" + instance.name + "\"";
    if (instance.shader != declaration.name)
        throw DeclarationError(where + " instances \"" + instance.shader + "\", not \"" + declaration.name + "\"");
    std::size_t previous = 0;
    bool first = true;
    for (const auto& v : instance.values) {
        const Parameter* p = declaration.find(v.first);
        if (!p)
            throw DeclarationError(where + ": \"" + declaration.name + "\" declares no parameter \"" + v.first + "\"");
        const std::size_t index = static_cast<std::size_t>(p - declaration.parameters.data());
        if (!first && index <= previous)
            throw DeclarationError(where + ": parameter \"" + v.first + "\" is " +
                                   (index == previous ? "given twice" : "out of the declaration's order"));
        first = false;
        previous = index;
        if (p->array || !isValueType(p->type))
            throw DeclarationError(where + ": parameter \"" + v.first + "\" (" + (p->array ? "array " : "") + p->type +
                                   ") takes no value of this form");
        const std::size_t n = v.second.size();
        if (n != static_cast<std::size_t>(p->arity()) && !(p->type == "color" && n == 3))
            throw DeclarationError(where + ": parameter \"" + v.first + "\" (" + p->type + ") takes " +
                                   (p->type == "color" ? std::string("3 or 4") : std::to_string(p->arity())) +
                                   " values, got " + std::to_string(n));
        for (double x : v.second)
            if (!fitsValue(p->type, x))
                throw DeclarationError(where + ": parameter \"" + v.first + "\": " + formatNumber(x) + " " +
                                       valueRange(p->type));
    }
}

std::vector<Declaration> readDeclarations(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw DeclarationError(path + ": cannot open the declaration file");
    std::ostringstream text;
    text << in.rdbuf();
    return parseDeclarations(text.str(), path);
}

Declaration readDeclaration(const std::string& path, const std::string& shaderName)
{
    for (Declaration& d : readDeclarations(path))
        if (d.name == shaderName)
            return d;
    throw DeclarationError(path + ": declares no shader \"" + shaderName + "\"");
}

BlockBuilder::BlockBuilder(const Declaration& declaration) : declaration_(&declaration) {}

const Parameter& BlockBuilder::require(const std::string& name) const
{
    const Parameter* p = declaration_->find(name);
    if (!p)
        throw DeclarationError("unknown parameter '" + name + "' of shader " + declaration_->name);
    return *p;
}

void BlockBuilder::set(const std::string& name, const std::vector<double>& values) { set(require(name), values); }

void BlockBuilder::setArray(const std::string& name, const std::vector<miTag>& elements)
{
    setArray(require(name), elements);
}

std::size_t BlockBuilder::indexOf(const Parameter& p)
{
    const std::size_t count = declaration_->parameters.size();
    if (values_.size() < count) {  // the declaration may have grown since the builder was made
        values_.resize(count);
        arrays_.resize(count);
    }
    return static_cast<std::size_t>(&p - declaration_->parameters.data());
}

void BlockBuilder::set(const Parameter& p, const std::vector<double>& values)
{
    const std::string& name = p.name;
    if (p.array)
        throw DeclarationError("parameter '" + name + "' of shader " + declaration_->name + " is an array of " +
                               p.type + "s");
    if (!isValueType(p.type))
        throw DeclarationError("parameter '" + name + "' of shader " + declaration_->name + " is a " + p.type +
                               " reference, not a value");
    const bool alpha = std::string_view(p.type) == "color" && values.size() == 3;  // alpha 1, which every colour takes
    if (values.size() + alpha != static_cast<std::size_t>(p.arity()))
        throw DeclarationError("parameter '" + name + "' of shader " + declaration_->name + " (" + p.type +
                               ") takes " + (p.type == "color" ? std::string("3 or 4") : std::to_string(p.arity())) +
                               " values, got " + std::to_string(values.size()));
    for (double x : values)
        if (!fitsValue(p.type, x))
            throw DeclarationError("parameter '" + name + "' of shader " + declaration_->name + " (" + p.type + "): " +
                                   formatNumber(x) + " " + valueRange(p.type));
    std::vector<double>& stored = values_[indexOf(p)];
    stored.assign(values.begin(), values.end());
    if (alpha)
        stored.push_back(1.0);
}

void BlockBuilder::setArray(const Parameter& p, const std::vector<miTag>& elements)
{
    if (!p.array || !isTagType(p.type))
        throw DeclarationError("parameter '" + p.name + "' of shader " + declaration_->name + " is not an array of tags");
    arrays_[indexOf(p)] = elements;
}

void BlockBuilder::clear()
{
    for (std::vector<double>& v : values_)
        v.clear();
    for (std::vector<miTag>& a : arrays_)
        a.clear();
}

std::size_t BlockBuilder::bytes() const
{
    std::size_t total = declaration_->blockSize;
    for (std::size_t i = 0; i < arrays_.size(); ++i)
        if (!arrays_[i].empty())
            total += arrays_[i].size() * typeSize(declaration_->parameters[i].type);
    return total;
}

namespace {
void writeValue(char* at, const Parameter& p, const std::vector<double>& v)
{
    const std::string_view type = p.type;
    if (type == "boolean" || type == "integer") {
        const int i = static_cast<int>(v[0]);
        std::memcpy(at, &i, sizeof i);
        return;
    }
    for (std::size_t k = 0; k < v.size(); ++k) {
        const float f = static_cast<float>(v[k]);
        std::memcpy(at + 4 * k, &f, sizeof f);
    }
}
}  // namespace

void BlockBuilder::write(char* block) const
{
    const std::size_t size = bytes();
    if (size == 0)
        return;  // a shader without parameters: there may be no block at all
    std::memset(block, 0, size);
    const std::vector<Parameter>& parameters = declaration_->parameters;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& p = parameters[i];
        if (i < values_.size() && !values_[i].empty())
            writeValue(block + p.offset, p, values_[i]);
        else if (!p.defaults.empty())
            writeValue(block + p.offset, p, p.defaults);
    }
    // Array elements go after the block; i_NAME counts elements from the
    // element field to the first of them.
    std::size_t tail = declaration_->blockSize;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        const Parameter& p = parameters[i];
        if (!p.array)
            continue;
        const std::size_t count = i < arrays_.size() ? arrays_[i].size() : 0;
        const std::size_t element = typeSize(p.type);
        const int index = static_cast<int>((tail - p.elementOffset()) / element);
        const int n = static_cast<int>(count);
        std::memcpy(block + p.offset, &index, sizeof index);
        std::memcpy(block + p.offset + 4, &n, sizeof n);
        if (count)
            std::memcpy(block + tail, arrays_[i].data(), count * element);
        tail += count * element;
    }
}

}  // namespace mrhost
