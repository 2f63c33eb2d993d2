// The look: one type for the material's values, its JSON, and its forms for
// the hosts read back the way each host reads them.
#include "core/deliverables.h"
#include "core/errors.h"
#include "declaration.h"
#include "look/look.h"
#include "look/lookExport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace cwtool;
using testing::HasSubstr;

namespace {

std::vector<float> floats(const std::vector<double>& numbers)
{
    std::vector<float> out;
    for (double d : numbers)
        out.push_back(static_cast<float>(d));
    return out;
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

std::string messageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

// Values no short decimal names: each must come back with every bit.
Look awkwardLook()
{
    Look look;
    look.values = {{"color", {1.0f / 3.0f, std::nextafter(0.1f, 1.0f), 0.9f}},
                   {"diffuse", {std::nextafter(0.8f, 0.0f)}},
                   {"alpha", {1e-7f}},
                   {"beta", {123456.79f}},
                   {"blue", {-0.0625f}},
                   {"outLineWidth", {0.25f}},
                   {"specularColor", {2.0f / 3.0f, 5e-5f, 1.0f}},
                   {"maya:eccentricity", {0.15f}},
                   {"mentalray:eccentricity", {40.0f}},
                   {"computeIrradiance", {1.0}},
                   {"irradianceColor", {0.3f, 0.6f, 0.7f}}};
    return look;
}

class LookExport : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        layout = new InstallLayout(findLayout());
        plugin = new MayaPlugin(*layout);
        shader = new MentalRayShader(*layout);
    }
    static void TearDownTestSuite()
    {
        delete shader;
        delete plugin;
        delete layout;
    }
    static std::string exported(const Look& look, ExportFormat format, const std::string& name = "")
    {
        return exportLook(look, format, name, plugin->type(), shader->declaration());
    }
    static InstallLayout* layout;
    static MayaPlugin* plugin;
    static MentalRayShader* shader;
};
InstallLayout* LookExport::layout = nullptr;
MayaPlugin* LookExport::plugin = nullptr;
MentalRayShader* LookExport::shader = nullptr;

// What a MEL script's setAttr lines set: attribute -> numbers, in order, and
// which were given as double3.
struct MelValues {
    std::vector<std::pair<std::string, std::vector<double>>> values;
    std::vector<std::string> double3;
    std::string nodeLine;
};

MelValues readMel(const std::string& text)
{
    MelValues mel;
    const std::regex setAttr(R"re(^\s*setAttr \(\$node \+ "\.(\w+)"\)( -type double3)?((?: [^ ;]+)+);$)re");
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (line.find("string $node") != std::string::npos)
            mel.nodeLine = line;
        if (line.find("setAttr") == std::string::npos)
            continue;
        EXPECT_TRUE(std::regex_match(line, m, setAttr)) << line;
        if (m.empty())
            continue;
        std::vector<double> numbers;
        std::istringstream words(m[3].str());
        std::string w;
        while (words >> w)
            numbers.push_back(w == "true" ? 1.0 : w == "false" ? 0.0 : std::stod(w));
        if (m[2].matched)
            mel.double3.push_back(m[1]);
        mel.values.push_back({m[1], numbers});
    }
    return mel;
}

}  // namespace

TEST(Look, ABareNameTakesBothSidesAndAPrefixedOneItsOwn)
{
    Look look = builtinLook();
    auto valueOn = [](const Look& l, bool maya, const std::string& name) {
        for (const Setting& s : l.side(maya))
            if (s.name == name)
                return s.numbers;
        return std::vector<double>{};
    };
    EXPECT_EQ(valueOn(look, true, "eccentricity"), std::vector<double>{0.15});
    EXPECT_EQ(valueOn(look, false, "eccentricity"), std::vector<double>{40.0});

    // A bare value after the prefixed ones reaches both sides and replaces them.
    look.set({"eccentricity", {0.3}});
    EXPECT_FALSE(look.find("maya:eccentricity"));
    EXPECT_FALSE(look.find("mentalray:eccentricity"));
    EXPECT_EQ(valueOn(look, true, "eccentricity"), std::vector<double>{0.3});
    EXPECT_EQ(valueOn(look, false, "eccentricity"), std::vector<double>{0.3});

    // A prefixed one changes its side only and follows the bare one.
    look.set({"mentalray:eccentricity", {20.0}});
    EXPECT_EQ(valueOn(look, true, "eccentricity"), std::vector<double>{0.3});
    EXPECT_EQ(valueOn(look, false, "eccentricity"), std::vector<double>{20.0});
    look.set({"mentalray:eccentricity", {25.0}});
    EXPECT_EQ(std::count_if(look.values.begin(), look.values.end(),
                            [](const Setting& s) { return s.name == "mentalray:eccentricity"; }),
              1);
    EXPECT_EQ(valueOn(look, false, "eccentricity"), std::vector<double>{25.0});

    // Setting a look over another is applying its values after.
    Look over;
    over.set({"diffuse", {0.4}});
    over.set({"maya:alpha", {0.2}});
    look.set(over);
    EXPECT_EQ(valueOn(look, true, "diffuse"), std::vector<double>{0.4});
    EXPECT_EQ(valueOn(look, true, "alpha"), std::vector<double>{0.2});
    EXPECT_EQ(valueOn(look, false, "alpha"), std::vector<double>{0.05});
}

TEST(Look, JsonReadsBackTheSameValuesAndAPrefixWinsWhateverTheKeyOrder)
{
    const Look look = awkwardLook();
    const Look back = parseLook(lookJson(look, true, {"computeIrradiance"}), "test");
    ASSERT_EQ(back.values.size(), look.values.size());
    for (const Setting& s : look.values) {
        const Setting* b = back.find(s.name);
        ASSERT_TRUE(b) << s.name;
        EXPECT_TRUE(sameBits(floats(b->numbers), floats(s.numbers))) << s.name;
    }
    EXPECT_THAT(lookJson(look, false, {"computeIrradiance"}), HasSubstr("\"computeIrradiance\":true"));
    // Short values stay short: what the user typed.
    EXPECT_THAT(lookJson(builtinLook(), false), HasSubstr("\"color\":[0.9,0.45,0.1]"));
    EXPECT_EQ(lookJson(Look(), true), "{}\n");

    // The prefixed value wins on its side even when the bare one comes later.
    const Look mixed = parseLook(R"({"maya:diffuse": 0.2, "diffuse": 0.7})", "test");
    EXPECT_EQ(mixed.side(true)[0].numbers, std::vector<double>{0.2});
    EXPECT_EQ(mixed.side(false)[0].numbers, std::vector<double>{0.7});
}

TEST(Look, BadLookTextIsRefusedNamingTheField)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"({"diffuse": "high"})", "--look 'x.json': diffuse: expected a number, true/false or one to three numbers, got \"high\""},
        {R"({"color": [1, 2, 3, 4]})", "color: expected a number, true/false or one to three numbers"},
        {R"({"color": [1, "a", 3]})", "color[1]: expected a number"},
        {R"({"maya:": 1})", "maya:: the name is missing after the prefix"},
        {R"({"alpha": 1e39})", "alpha:"},
        {R"([1, 2])", "the file: expected an object of NAME: VALUE"},
        {R"({"alpha": )", "--look 'x.json': not JSON"},
    };
    for (const auto& c : cases)
        EXPECT_THAT(messageOf([&] { parseLook(c.first, "--look 'x.json'"); }), HasSubstr(c.second)) << c.first;
    EXPECT_THAT(messageOf([] { loadLookFile("/nonexistent/look.json"); }),
                HasSubstr("--look '/nonexistent/look.json': cannot open the file"));
}

TEST(Look, ExportNamesAndFormatsAreChecked)
{
    ExportFormat f;
    EXPECT_TRUE(parseExportFormat("mel-preset", f));
    EXPECT_EQ(f, ExportFormat::MelPreset);
    EXPECT_FALSE(parseExportFormat("MEL", f));
    EXPECT_FALSE(parseExportFormat("", f));
    EXPECT_NO_THROW(checkExportName("orangeTone_2", "--name"));
    for (const char* bad : {"", "2tone", "a b", "a;b", "x\"y", "ns:node", "a\nb"})
        EXPECT_THROW(checkExportName(bad, "--name"), InputError) << bad;
    EXPECT_THROW(checkExportName(std::string(65, 'a'), "--name"), InputError);
}

TEST_F(LookExport, MelSetsTheNodeSideBitForBitAndNothingElse)
{
    const Look look = awkwardLook();
    const std::string text = exported(look, ExportFormat::Mel);
    const MelValues mel = readMel(text);
    EXPECT_THAT(mel.nodeLine, HasSubstr("`shadingNode -asShader coolwarm`"));
    // The node's values, in the node's attribute order; the shader's own
    // parameters are not the node's.
    std::vector<std::string> names;
    for (const auto& v : mel.values)
        names.push_back(v.first);
    EXPECT_EQ(names, (std::vector<std::string>{"color", "diffuse", "alpha", "beta", "blue", "outLineWidth",
                                               "eccentricity", "specularColor"}));
    EXPECT_EQ(mel.double3, (std::vector<std::string>{"color", "specularColor"}));
    for (const Setting& s : look.side(true)) {
        auto v = std::find_if(mel.values.begin(), mel.values.end(), [&](const auto& m) { return m.first == s.name; });
        if (s.name == "computeIrradiance" || s.name == "irradianceColor") {
            EXPECT_EQ(v, mel.values.end()) << s.name;
            continue;
        }
        ASSERT_NE(v, mel.values.end()) << s.name;
        EXPECT_TRUE(sameBits(floats(v->second), floats(s.numbers))) << s.name;
    }
    // Only the node's creation (or lookup) and setAttr: nothing else runs.
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        EXPECT_TRUE(line.empty() || line == "{" || line == "}" || line.rfind("//", 0) == 0 ||
                    line.find("setAttr") != std::string::npos || line.find("$node") != std::string::npos ||
                    line.find("error") != std::string::npos)
            << line;

    // Given a name, the script updates that node, and refuses another type.
    const std::string update = exported(look, ExportFormat::Mel, "orangeTone1");
    EXPECT_THAT(readMel(update).nodeLine, HasSubstr("string $node = \"orangeTone1\";"));
    EXPECT_THAT(update, HasSubstr("`nodeType $node` != \"coolwarm\""));
    EXPECT_THAT(update, testing::Not(HasSubstr("shadingNode")));
    EXPECT_EQ(readMel(update).values, mel.values);
}

TEST_F(LookExport, AttributePresetBlendsEachChannel)
{
    const std::string text = exported(builtinLook(), ExportFormat::MelPreset);
    EXPECT_THAT(text, HasSubstr("attrPresets/coolwarm/NAME.mel"));
    EXPECT_THAT(text, HasSubstr("startAttrPreset( \"coolwarm\" );\n"));
    EXPECT_THAT(text, testing::EndsWith("endAttrPreset();\n"));
    EXPECT_THAT(text, HasSubstr("blendAttr \"colorR\" 0.9;\nblendAttr \"colorG\" 0.45;\nblendAttr \"colorB\" 0.1;\n"));
    EXPECT_THAT(text, HasSubstr("blendAttr \"eccentricity\" 0.15;\n"));
    EXPECT_THAT(text, testing::Not(HasSubstr("40")));
}

TEST_F(LookExport, ShaderInstanceReadsBackThroughTheDeclarationReader)
{
    const Look look = awkwardLook();
    const std::string text = exported(look, ExportFormat::Mi, "orangeTone1");
    const std::vector<mrhost::ShaderInstance> instances = mrhost::parseShaderInstances(text, "look.mi");
    ASSERT_EQ(instances.size(), 1u);
    const mrhost::ShaderInstance& instance = instances[0];
    EXPECT_EQ(instance.name, "orangeTone1");
    // Checked against the declaration as shipped, not as built.
    const mrhost::Declaration declaration =
        mrhost::readDeclaration(std::string(COOLWARM_SOURCE_DIR) + "/shader/zarn_coolwarm.mi", "zarn_coolwarm");
    EXPECT_NO_THROW(mrhost::checkShaderInstance(instance, declaration, "look.mi"));
    std::vector<std::string> names;
    for (const auto& v : instance.values)
        names.push_back(v.first);
    EXPECT_EQ(names, (std::vector<std::string>{"color", "diffuse", "alpha", "beta", "blue", "eccentricity",
                                               "specularColor", "computeIrradiance", "irradianceColor"}));
    for (const Setting& s : look.side(false)) {
        auto v = std::find_if(instance.values.begin(), instance.values.end(),
                              [&](const auto& m) { return m.first == s.name; });
        if (s.name == "outLineWidth") {
            EXPECT_EQ(v, instance.values.end());
            continue;
        }
        ASSERT_NE(v, instance.values.end()) << s.name;
        EXPECT_TRUE(sameBits(floats(v->second), floats(s.numbers))) << s.name;
    }
    EXPECT_THAT(text, HasSubstr("\"computeIrradiance\" on"));

    // The declaration and the instance in one file read the same.
    const std::vector<mrhost::ShaderInstance> withDeclaration = mrhost::parseShaderInstances(
        "declare shader \"zarn_coolwarm\" (scalar \"diffuse\") end declare\n" + text, "scene.mi");
    ASSERT_EQ(withDeclaration.size(), 1u);
    EXPECT_EQ(withDeclaration[0].values, instance.values);

    // The look with nothing in it is an instance with no values.
    const auto empty = mrhost::parseShaderInstances(exported(Look(), ExportFormat::Mi), "empty.mi");
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].name, kDefaultExportName);
    EXPECT_TRUE(empty[0].values.empty());
}

TEST_F(LookExport, JsonIsTheLookFile)
{
    const Look look = awkwardLook();
    const std::string text = exported(look, ExportFormat::Json);
    EXPECT_THAT(text, HasSubstr("\"computeIrradiance\": true"));
    const Look back = parseLook(text, "look.json");
    ASSERT_EQ(back.values.size(), look.values.size());
    for (const Setting& s : look.values)
        EXPECT_TRUE(sameBits(floats(back.find(s.name)->numbers), floats(s.numbers))) << s.name;
}

TEST(ShaderInstance, MistakesAreReportedWithTheirPlace)
{
    const mrhost::Declaration d =
        mrhost::parseDeclarations("declare shader \"s\" (color \"c\", scalar \"f\", boolean \"b\", array light \"l\")"
                                  " end declare",
                                  "s.mi")[0];
    auto check = [&](const std::string& text) {
        return messageOf([&] { mrhost::checkShaderInstance(mrhost::parseShaderInstances(text, "i.mi").at(0), d, "i.mi"); });
    };
    EXPECT_EQ(check("shader \"i\" \"s\" (\"c\" 1 0 0, \"f\" 2, \"b\" on)"), "(no error)");
    EXPECT_EQ(check("shader \"i\" \"s\" (\"c\" 1 0 0 1)"), "(no error)");
    EXPECT_THAT(check("shader \"i\" \"t\" ()"), HasSubstr("i.mi:1: shader \"i\" instances \"t\", not \"s\""));
    EXPECT_THAT(check("shader \"i\" \"s\" (\"x\" 1)"), HasSubstr("declares no parameter \"x\""));
    EXPECT_THAT(check("shader \"i\" \"s\" (\"f\" 1, \"c\" 1 0 0)"), HasSubstr("\"c\" is out of the declaration's order"));
    EXPECT_THAT(check("shader \"i\" \"s\" (\"f\" 1, \"f\" 2)"), HasSubstr("\"f\" is given twice"));
    EXPECT_THAT(check("shader \"i\" \"s\" (\"c\" 1 0)"), HasSubstr("takes 3 or 4 values, got 2"));
    EXPECT_THAT(check("shader \"i\" \"s\" (\"f\" 1e39)"), HasSubstr("is not a finite single-precision number"));
    EXPECT_THAT(check("shader \"i\" \"s\" (\"l\" 1)"), HasSubstr("takes no value of this form"));
    EXPECT_THAT(messageOf([] { mrhost::parseShaderInstances("shader \"i\" \"s\" (\"f\")", "i.mi"); }),
                HasSubstr("i.mi:1: parameter \"f\" has no value"));
    EXPECT_THAT(messageOf([] { mrhost::parseShaderInstances("shader \"i\" \"s\" (\"b\" maybe)", "i.mi"); }),
                HasSubstr("a boolean value is on or off, not 'maybe'"));
    EXPECT_THAT(messageOf([] { mrhost::parseShaderInstances("shader \"i\" \"s\" (\"f\" 1\n", "i.mi"); }),
                HasSubstr("i.mi:2: expected ')'"));
}
