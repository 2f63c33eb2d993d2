// The Attribute Editor templates against what they lay out: every control a
// template names must exist on the node (or in the shader's declaration), and
// every attribute or parameter must be either shown or suppressed on purpose.
#include "declaration.h"
#include "pluginFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Template {
    std::string text;
    std::vector<std::string> shown;       // -addControl, in order
    std::set<std::string> suppressed;     // -suppress
};

Template readTemplate(const std::string& relativePath)
{
    std::ifstream in(std::string(COOLWARM_SOURCE_DIR) + "/" + relativePath);
    EXPECT_TRUE(in) << relativePath;
    std::ostringstream text;
    text << in.rdbuf();
    Template t;
    t.text = text.str();
    static const std::regex control(R"(editorTemplate\s+-(addControl|suppress)\s+"([^"]*)\")");
    for (std::sregex_iterator i(t.text.begin(), t.text.end(), control), end; i != end; ++i) {
        if ((*i)[1] == "addControl")
            t.shown.push_back((*i)[2]);
        else
            t.suppressed.insert((*i)[2]);
    }
    return t;
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The shape Maya expects of AE<nodeType>Template: the procedure's name, the
// swatch, balanced layouts, and no control named twice.
void expectWellFormed(const Template& t, const std::string& nodeType)
{
    EXPECT_NE(t.text.find("global proc AE" + nodeType + "Template(string $nodeName)"), std::string::npos);
    EXPECT_NE(t.text.find("AEswatchDisplay $nodeName;"), std::string::npos);
    EXPECT_EQ(count(t.text, "-beginScrollLayout"), 1u);
    EXPECT_EQ(count(t.text, "-endScrollLayout"), 1u);
    EXPECT_EQ(count(t.text, "-beginLayout"), count(t.text, "-endLayout"));
    std::set<std::string> seen;
    for (const std::string& name : t.shown) {
        EXPECT_TRUE(seen.insert(name).second) << name << " is shown twice";
        EXPECT_EQ(t.suppressed.count(name), 0u) << name << " is both shown and suppressed";
    }
}

}  // namespace

TEST(AttributeEditorTemplates, NodeTemplateNamesOnlyTheNodesAttributesAndAccountsForEveryOne)
{
    loadedPlugin();
    const mayahost::NodeType* type = mayahost::findNodeType("coolwarm");
    ASSERT_NE(type, nullptr);
    const Template t = readTemplate("node/AEcoolwarmTemplate.mel");
    expectWellFormed(t, "coolwarm");
    ASSERT_FALSE(t.shown.empty());

    for (const std::string& name : t.shown) {
        const mayahost::Attribute* a = type->find(name);
        ASSERT_NE(a, nullptr) << "the template shows " << name << ", which the node lacks";
        EXPECT_EQ(a->longName, name) << "controls are named by long name";
        EXPECT_FALSE(a->flags.hidden) << name;
        EXPECT_TRUE(a->flags.writable) << name << " is an output";
    }
    for (const std::string& name : t.suppressed) {
        const mayahost::Attribute* a = type->find(name);
        ASSERT_NE(a, nullptr) << "the template suppresses " << name << ", which the node lacks";
        EXPECT_EQ(a->longName, name);
    }
    // Every attribute that is not a component of a colour or vector is either
    // laid out or suppressed: the per-sample inputs and the light data are hidden.
    for (const auto& a : type->attributes) {
        if (a->parent && a->parent->kind == mayahost::AttrKind::Compound)
            continue;
        const bool shown = std::find(t.shown.begin(), t.shown.end(), a->longName) != t.shown.end();
        EXPECT_TRUE(shown || t.suppressed.count(a->longName)) << a->longName << " is left to Extra Attributes";
        if (a->flags.hidden) {
            EXPECT_TRUE(t.suppressed.count(a->longName)) << a->longName << " is hidden but not suppressed";
        }
    }
}

TEST(AttributeEditorTemplates, ShaderTemplateNamesOnlyDeclaredParametersAndAccountsForEveryOne)
{
    const mrhost::Declaration d = mrhost::readDeclaration(
        std::string(COOLWARM_SOURCE_DIR) + "/shader/zarn_coolwarm.mi", "zarn_coolwarm");
    const Template t = readTemplate("shader/AEzarn_coolwarmTemplate.mel");
    expectWellFormed(t, "zarn_coolwarm");
    ASSERT_FALSE(t.shown.empty());

    for (const std::string& name : t.shown)
        EXPECT_NE(d.find(name), nullptr) << "the template shows " << name << ", which the declaration lacks";
    for (const std::string& name : t.suppressed)
        EXPECT_NE(d.find(name), nullptr) << "the template suppresses " << name << ", which the declaration lacks";
    for (const mrhost::Parameter& p : d.parameters) {
        const bool shown = std::find(t.shown.begin(), t.shown.end(), p.name) != t.shown.end();
        EXPECT_TRUE(shown || t.suppressed.count(p.name)) << p.name << " is left to Extra Attributes";
    }
    EXPECT_TRUE(t.suppressed.count("light")) << "the light list is not set by hand";
    EXPECT_TRUE(t.suppressed.count("normalCamera")) << "the normal offset is connected, not set";
}

// Maya's node factory gives the shader's node the id in the declaration, so a
// scene keeps the node's type whatever order shaders load in. Both ids lie in
// the block Maya leaves for local use (0 to 0x7ffff) and differ.
TEST(AttributeEditorTemplates, ShippedDeclarationCarriesAFixedNodeId)
{
    const mrhost::Declaration d = mrhost::readDeclaration(
        std::string(COOLWARM_SOURCE_DIR) + "/shader/zarn_coolwarm.mi", "zarn_coolwarm");
    ASSERT_EQ(d.hints.count("nodeid"), 1u);
    const double id = d.hints.at("nodeid");
    EXPECT_EQ(id, 0x72129);
    EXPECT_LE(id, 0x7ffff);
    loadedPlugin();
    EXPECT_NE(static_cast<unsigned>(id), mayahost::findNodeType("coolwarm")->id);
}
