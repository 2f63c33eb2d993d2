// The coolwarm plug-in as Maya sees it: entry points, registration, and the
// node's attribute schema.
#include "loader.h"
#include "pluginFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using mayahost::AttrKind;
using mayahost::Attribute;
using mayahost::NodeType;

namespace {

const char kRefresh[] =
    "if( `window -exists createRenderNodeWindow` )  {refreshCreateRenderNodeWindow(\"shader/surface\");}\n";

// One row of the node's schema, in creation order.
struct Row {
    const char* longName;
    const char* shortName;
    AttrKind kind;
    const char* parent;
    float def[3];
    char limits;        // 'h' hard 0..1, 's' soft 0..1, '-' none
    const char* flags;  // R readable W writable C connectable S storable K keyable H hidden A array U colour
};

constexpr AttrKind F = AttrKind::Float;
constexpr AttrKind B = AttrKind::Boolean;
constexpr AttrKind C3 = AttrKind::Compound;
constexpr AttrKind AD = AttrKind::Address;
constexpr AttrKind LD = AttrKind::LightData;

const Row kSchema[] = {
    {"colorR", "cr", F, "color", {0.5f}, '-', "RWCS"},
    {"colorG", "cg", F, "color", {0.5f}, '-', "RWCS"},
    {"colorB", "cb", F, "color", {0.5f}, '-', "RWCS"},
    {"color", "c", C3, "", {0.5f, 0.5f, 0.5f}, '-', "RWCSKU"},
    {"transparencyR", "itr", F, "transparency", {0.0f}, '-', "RWCS"},
    {"transparencyG", "itg", F, "transparency", {0.0f}, '-', "RWCS"},
    {"transparencyB", "itb", F, "transparency", {0.0f}, '-', "RWCS"},
    {"transparency", "it", C3, "", {0.0f, 0.0f, 0.0f}, '-', "RWCSKU"},
    {"ambientColorR", "ambCR", F, "ambientColor", {0.0f}, '-', "RWCS"},
    {"ambientColorG", "ambCG", F, "ambientColor", {0.0f}, '-', "RWCS"},
    {"ambientColorB", "ambCB", F, "ambientColor", {0.0f}, '-', "RWCS"},
    {"ambientColor", "ambC", C3, "", {0.0f, 0.0f, 0.0f}, '-', "RWCSKU"},
    {"incandescenceR", "ir", F, "incandescence", {0.0f}, '-', "RWCS"},
    {"incandescenceG", "ig", F, "incandescence", {0.0f}, '-', "RWCS"},
    {"incandescenceB", "ib", F, "incandescence", {0.0f}, '-', "RWCS"},
    {"incandescence", "ic", C3, "", {0.0f, 0.0f, 0.0f}, '-', "RWCSKU"},
    {"diffuse", "dfl", F, "", {0.8f}, 's', "RWCSK"},
    {"translucence", "tsl", F, "", {0.0f}, 's', "RWCSK"},
    {"alpha", "alp", F, "", {1.0f}, 's', "RWCSK"},
    {"beta", "bta", F, "", {0.37f}, 's', "RWCSK"},
    {"blue", "ble", F, "", {0.09f}, 's', "RWCSK"},
    {"yellow", "ylw", F, "", {0.13f}, 's', "RWCSK"},
    {"outLineWidth", "olw", F, "", {0.4f}, 'h', "RWCSK"},
    {"outLineColorR", "olcr", F, "outLineColor", {0.744f}, '-', "RWCS"},
    {"outLineColorG", "olcg", F, "outLineColor", {0.744f}, '-', "RWCS"},
    {"outLineColorB", "olcb", F, "outLineColor", {0.821f}, '-', "RWCS"},
    {"outLineColor", "olc", C3, "", {0.744f, 0.744f, 0.821f}, '-', "RWCSKU"},
    {"eccentricity", "et", F, "", {0.3f}, 's', "RWCSK"},
    {"specularRollOff", "sro", F, "", {0.7f}, 's', "RWCSK"},
    {"specularColorR", "spcr", F, "specularColor", {0.5f}, '-', "RWCS"},
    {"specularColorG", "spcg", F, "specularColor", {0.5f}, '-', "RWCS"},
    {"specularColorB", "spcb", F, "specularColor", {0.5f}, '-', "RWCS"},
    {"specularColor", "spc", C3, "", {0.5f, 0.5f, 0.5f}, '-', "RWCSKU"},
    {"outColorR", "ocr", F, "outColor", {0.0f}, '-', "RWCS"},
    {"outColorG", "ocg", F, "outColor", {0.0f}, '-', "RWCS"},
    {"outColorB", "ocb", F, "outColor", {0.0f}, '-', "RWCS"},
    {"outColor", "oc", C3, "", {0.0f, 0.0f, 0.0f}, '-', "RCS"},
    {"outTransparencyR", "otr", F, "outTransparency", {0.0f}, '-', "RWCS"},
    {"outTransparencyG", "otg", F, "outTransparency", {0.0f}, '-', "RWCS"},
    {"outTransparencyB", "otb", F, "outTransparency", {0.0f}, '-', "RWCS"},
    {"outTransparency", "ot", C3, "", {0.0f, 0.0f, 0.0f}, '-', "RCS"},
    {"pointCameraX", "px", F, "pointCamera", {1.0f}, '-', "RWCS"},
    {"pointCameraY", "py", F, "pointCamera", {1.0f}, '-', "RWCS"},
    {"pointCameraZ", "pz", F, "pointCamera", {1.0f}, '-', "RWCS"},
    {"pointCamera", "p", C3, "", {1.0f, 1.0f, 1.0f}, '-', "RWCH"},
    {"normalCameraX", "nx", F, "normalCamera", {1.0f}, '-', "RWCS"},
    {"normalCameraY", "ny", F, "normalCamera", {1.0f}, '-', "RWCS"},
    {"normalCameraZ", "nz", F, "normalCamera", {1.0f}, '-', "RWCS"},
    {"normalCamera", "n", C3, "", {1.0f, 1.0f, 1.0f}, '-', "RWCH"},
    {"rayDirectionX", "rdx", F, "rayDirection", {1.0f}, '-', "RWCS"},
    {"rayDirectionY", "rdy", F, "rayDirection", {1.0f}, '-', "RWCS"},
    {"rayDirectionZ", "rdz", F, "rayDirection", {1.0f}, '-', "RWCS"},
    {"rayDirection", "rad", C3, "", {1.0f, 1.0f, 1.0f}, '-', "RWCH"},
    {"lightDirectionX", "ldx", F, "lightDirection", {1.0f}, '-', "RCH"},
    {"lightDirectionY", "ldy", F, "lightDirection", {1.0f}, '-', "RCH"},
    {"lightDirectionZ", "ldz", F, "lightDirection", {1.0f}, '-', "RCH"},
    {"lightDirection", "ld", C3, "lightDataArray", {1.0f, 1.0f, 1.0f}, '-', "RCH"},
    {"lightIntensityR", "lir", F, "lightIntensity", {1.0f}, '-', "RCH"},
    {"lightIntensityG", "lig", F, "lightIntensity", {1.0f}, '-', "RCH"},
    {"lightIntensityB", "lib", F, "lightIntensity", {1.0f}, '-', "RCH"},
    {"lightIntensity", "li", C3, "lightDataArray", {1.0f, 1.0f, 1.0f}, '-', "RCH"},
    {"lightAmbient", "la", B, "lightDataArray", {1.0f}, '-', "RCH"},
    {"lightDiffuse", "ldf", B, "lightDataArray", {1.0f}, '-', "RCH"},
    {"lightSpecular", "ls", B, "lightDataArray", {0.0f}, '-', "RCH"},
    {"lightShadowFraction", "lsf", F, "lightDataArray", {1.0f}, '-', "RCH"},
    {"preShadowIntensity", "psi", F, "lightDataArray", {1.0f}, '-', "RCH"},
    {"lightBlindData", "lbld", AD, "lightDataArray", {0.0f}, '-', "RCH"},
    {"lightDataArray", "ltd", LD, "", {0.0f}, '-', "RWCHA"},
};

std::string flagsOf(const Attribute& a)
{
    std::string s;
    if (a.flags.readable) s += 'R';
    if (a.flags.writable) s += 'W';
    if (a.flags.connectable) s += 'C';
    if (a.flags.storable) s += 'S';
    if (a.flags.keyable) s += 'K';
    if (a.flags.hidden) s += 'H';
    if (a.flags.array) s += 'A';
    if (a.flags.usedAsColor) s += 'U';
    return s;
}

const NodeType& coolwarmType()
{
    loadedPlugin();
    const NodeType* type = mayahost::findNodeType("coolwarm");
    if (!type)
        throw std::runtime_error("coolwarm is not registered");
    return *type;
}

bool isOutput(const std::string& name) { return name.rfind("outColor", 0) == 0 || name.rfind("outTransparency", 0) == 0; }

}  // namespace

TEST(CoolwarmPlugin, ExportsItsEntryPointsUnderPlainNames)
{
    void* library = loader::open(pluginPath());
    ASSERT_NE(library, nullptr) << loader::error();
    EXPECT_NE(loader::symbol(library, "initializePlugin"), nullptr);
    EXPECT_NE(loader::symbol(library, "uninitializePlugin"), nullptr);
    const char* version = static_cast<const char*>(loader::symbol(library, "MApiVersion"));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version, "200900");
    loader::close(library);
}

TEST(CoolwarmPlugin, RegistersOneSurfaceShaderAndRefreshesTheWindow)
{
    mayahost::clearCommandLog();
    mayahost::PluginRecord* plugin = mayahost::loadPlugin(pluginPath());
    ASSERT_EQ(plugin->initializeStatus, MS::kSuccess);
    EXPECT_EQ(plugin->apiVersion, "200900");
    ASSERT_EQ(plugin->functionSets.size(), 1u);
    EXPECT_EQ(plugin->functionSets[0].vendor, "Halvick : Zarnwerk");
    EXPECT_EQ(plugin->functionSets[0].version, "1.0");
    EXPECT_EQ(plugin->functionSets[0].apiVersion, "Any");

    const NodeType* type = mayahost::findNodeType("coolwarm");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->id, 467240u);
    EXPECT_EQ(type->kind, MPxNode::kDependNode);
    EXPECT_EQ(type->classification, "shader/surface");
    EXPECT_EQ(type->attributes.size(), 68u);

    ASSERT_EQ(mayahost::commandLog().size(), 1u);
    EXPECT_EQ(mayahost::commandLog()[0].text, kRefresh);
    EXPECT_FALSE(mayahost::commandLog()[0].displayEnabled);
    EXPECT_FALSE(mayahost::commandLog()[0].undoEnabled);

    {
        // Instances are MP-safe, report a plain dependency node, and share handles.
        mayahost::Node a("coolwarm"), b("coolwarm");
        EXPECT_TRUE(a.isMPSafe());
        EXPECT_EQ(a.instance()->type(), MPxNode::kDependNode);
        EXPECT_FALSE(a.instance()->isAbstractClass());
        EXPECT_EQ(&a.type(), &b.type());
    }

    mayahost::clearCommandLog();
    mayahost::unloadPlugin(plugin);
    EXPECT_EQ(plugin->uninitializeStatus, MS::kSuccess);
    EXPECT_EQ(mayahost::findNodeType("coolwarm"), nullptr);
    ASSERT_EQ(plugin->functionSets.size(), 2u);
    EXPECT_EQ(plugin->functionSets[1].vendor, "Unknown");
    EXPECT_EQ(plugin->functionSets[1].version, "Unknown");
    EXPECT_EQ(plugin->functionSets[1].apiVersion, "Any");
    ASSERT_EQ(mayahost::commandLog().size(), 1u);
    EXPECT_EQ(mayahost::commandLog()[0].text, kRefresh);
    EXPECT_FALSE(mayahost::commandLog()[0].displayEnabled);
    EXPECT_FALSE(mayahost::commandLog()[0].undoEnabled);
}

TEST(CoolwarmPlugin, LoadsAndUnloadsSuccessfullyWhenTheNameOrIdIsTaken)
{
    for (const auto& taken : std::vector<std::pair<std::string, unsigned>>{{"coolwarm", 1u}, {"other", 0x72128u}}) {
        ASSERT_EQ(mayahost::registerPlaceholderType(taken.first, taken.second), MS::kSuccess);
        mayahost::clearCommandLog();
        testing::internal::CaptureStderr();
        mayahost::PluginRecord* plugin = mayahost::loadPlugin(pluginPath());
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(plugin->initializeStatus, MS::kSuccess);
        EXPECT_THAT(err, testing::HasSubstr("Failed to register node type \"coolwarm\""));
        EXPECT_EQ(mayahost::commandLog().size(), 1u) << "the refresh still runs";

        // The placeholder keeps its place; the plug-in's unload still succeeds.
        const NodeType* type = mayahost::findNodeType(taken.first);
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(type->id, taken.second);
        mayahost::deregisterType(taken.second);
        testing::internal::CaptureStderr();
        mayahost::unloadPlugin(plugin);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(plugin->uninitializeStatus, MS::kSuccess);
    }
}

TEST(CoolwarmSchema, EveryAttributeMatchesTheTable)
{
    const NodeType& type = coolwarmType();
    ASSERT_EQ(type.attributes.size(), sizeof(kSchema) / sizeof(kSchema[0]));
    for (std::size_t i = 0; i < type.attributes.size(); ++i) {
        const Attribute& a = *type.attributes[i];
        const Row& row = kSchema[i];
        SCOPED_TRACE(row.longName);
        EXPECT_EQ(a.longName, row.longName);
        EXPECT_EQ(a.shortName, row.shortName);
        EXPECT_EQ(a.kind, row.kind);
        EXPECT_EQ(a.creationIndex, static_cast<int>(i));
        EXPECT_EQ(a.parent ? a.parent->longName : std::string(), row.parent);
        for (int c = 0; c < a.valueCount(); ++c)
            EXPECT_EQ(a.defaultValue[c], row.def[c]) << "component " << c;
        EXPECT_EQ(a.hardMin.set, row.limits == 'h');
        EXPECT_EQ(a.hardMax.set, row.limits == 'h');
        EXPECT_EQ(a.softMin.set, row.limits == 's');
        EXPECT_EQ(a.softMax.set, row.limits == 's');
        if (row.limits != '-') {
            const mayahost::Limit& lo = row.limits == 'h' ? a.hardMin : a.softMin;
            const mayahost::Limit& hi = row.limits == 'h' ? a.hardMax : a.softMax;
            EXPECT_EQ(lo.value[0], 0.0);
            EXPECT_EQ(hi.value[0], 1.0);
        }
        EXPECT_EQ(flagsOf(a), row.flags);
        // Compounds and the light-data children are added; compound children are not.
        const bool compoundChild = a.parent && a.parent->kind == AttrKind::Compound;
        EXPECT_EQ(a.added, !compoundChild);
    }
}

TEST(CoolwarmSchema, ChildrenComeInOrder)
{
    const NodeType& type = coolwarmType();
    const Attribute* lightData = type.find("ltd");
    ASSERT_NE(lightData, nullptr);
    std::vector<std::string> names;
    for (const Attribute* c : lightData->children)
        names.push_back(c->longName);
    EXPECT_THAT(names, testing::ElementsAre("lightDirection", "lightIntensity", "lightAmbient", "lightDiffuse",
                                            "lightSpecular", "lightShadowFraction", "preShadowIntensity",
                                            "lightBlindData"));
    const Attribute* colour = type.find("c");
    ASSERT_EQ(colour->children.size(), 3u);
    EXPECT_EQ(colour->children[2]->longName, "colorB");
}

TEST(CoolwarmSchema, LightDataDefaultDiffersFromItsChildren)
{
    const mayahost::LightDefault& d = coolwarmType().find("lightDataArray")->lightDefault;
    ASSERT_TRUE(d.set);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(d.direction[i], 0.0f);
        EXPECT_EQ(d.intensity[i], 0.0f);
    }
    EXPECT_TRUE(d.ambient);
    EXPECT_TRUE(d.diffuse);
    EXPECT_FALSE(d.specular);
    EXPECT_EQ(d.shadowFraction, 1.0f);
    EXPECT_EQ(d.preShadowIntensity, 1.0f);
    EXPECT_EQ(d.blindData, nullptr);
}

TEST(CoolwarmSchema, EveryInputAffectsOutColorAndOnlyTransparencyAffectsOutTransparency)
{
    const NodeType& type = coolwarmType();
    const Attribute* outColor = type.find("outColor");
    const Attribute* outTransparency = type.find("outTransparency");
    int inputs = 0, declarations = 0;
    for (const auto& a : type.attributes) {
        SCOPED_TRACE(a->longName);
        declarations += static_cast<int>(a->affects.size());
        if (isOutput(a->longName)) {
            EXPECT_TRUE(a->affects.empty());
            continue;
        }
        ++inputs;
        const bool isTransparency = a->longName.rfind("transparency", 0) == 0;
        std::vector<const Attribute*> expected{outColor};
        if (isTransparency)
            expected.push_back(outTransparency);
        EXPECT_THAT(a->affects, testing::UnorderedElementsAreArray(expected));
    }
    EXPECT_EQ(inputs, 60);
    EXPECT_EQ(declarations, 64);
}

TEST(CoolwarmSchema, NewNodeHoldsTheDefaults)
{
    coolwarmType();
    mayahost::Node node("coolwarm");
    EXPECT_EQ(node.getAttr("outLineColor").v[2], 0.821f);
    EXPECT_EQ(node.getAttr("olw").v[0], 0.4f);
    EXPECT_EQ(node.getAttr("nz").v[0], 1.0f);
    // Only the outline width has hard limits.
    node.setAttr("outLineWidth", {1, {2.0f}});
    EXPECT_EQ(node.getAttr("outLineWidth").v[0], 1.0f);
    node.setAttr("outLineWidth", {1, {-1.0f}});
    EXPECT_EQ(node.getAttr("outLineWidth").v[0], 0.0f);
    node.setAttr("diffuse", {1, {2.0f}});
    EXPECT_EQ(node.getAttr("diffuse").v[0], 2.0f);
    node.setAttr("translucence", {1, {-0.5f}});
    EXPECT_EQ(node.getAttr("tsl").v[0], -0.5f);
    // Outputs are readable but cannot be set.
    EXPECT_THROW(node.setAttr("outColor", {3, {1.0f, 1.0f, 1.0f}}), mayahost::Error);
    EXPECT_THROW(node.setAttr("ocr", {1, {1.0f}}), mayahost::Error);
}

namespace {
// The source line of the status test after the light-data call made on
// `attribute` with `call`.
int sourceLineOf(const std::string& attribute, const std::string& call)
{
    std::ifstream source(std::string(COOLWARM_SOURCE_DIR) + "/node/coolwarmNode.cpp");
    std::string line;
    bool inBlock = false, called = false;
    for (int number = 1; std::getline(source, line); ++number) {
        if (line.find("\"" + attribute + "\"") != std::string::npos)
            inBlock = true;
        else if (inBlock && line.find(".create(") != std::string::npos)
            inBlock = false;
        if (inBlock && line.find(call + "(") != std::string::npos)
            called = true;
        if (called && line.find("COOLWARM_REPORT(") != std::string::npos)
            return number;
    }
    return -1;
}
}  // namespace

TEST(CoolwarmSchema, AFailedLightDataCallIsReportedOnceAndTheRestIsCreated)
{
    struct Case { const char* attribute; const char* call; };
    for (const Case c : {Case{"lightSpecular", "setHidden"}, Case{"lightDataArray", "setDefault"},
                         Case{"lightDirectionY", "setWritable"}}) {
        SCOPED_TRACE(std::string(c.attribute) + " " + c.call);
        mayahost::injectFault(c.attribute, c.call);
        testing::internal::CaptureStderr();
        mayahost::PluginRecord* plugin = mayahost::loadPlugin(pluginPath());
        const std::string err = testing::internal::GetCapturedStderr();
        mayahost::clearFaults();
        EXPECT_EQ(plugin->initializeStatus, MS::kSuccess);
        const NodeType* type = mayahost::findNodeType("coolwarm");
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(type->attributes.size(), 68u);

        const int line = sourceLineOf(c.attribute, c.call);
        ASSERT_GT(line, 0);
#if defined(_WIN32)
        const std::string source = ".\\coolwarmNode.cpp";
#else
        const std::string source = "./coolwarmNode.cpp";
#endif
        const std::string expected = "\nAPI error detected in " + source + " at line " + std::to_string(line) +
                                     "\n(kFailure): Unexpected Internal Failure\n";
        EXPECT_EQ(err, expected);
        std::cout << "reported:" << err;
        mayahost::unloadPlugin(plugin);
    }
}
