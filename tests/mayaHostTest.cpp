// The Maya stand-in where its behaviour is subtle, on a small node type made
// here rather than loaded from a plug-in.
#include "mayaHost.h"

#include <maya/MArrayDataHandle.h>
#include <maya/MDataBlock.h>
#include <maya/MFloatVector.h>
#include <maya/MFnLightDataAttribute.h>
#include <maya/MFnNumericAttribute.h>
#include <maya/MFnPlugin.h>
#include <maya/MPlug.h>
#include <maya/MPxNode.h>
#include <maya/MString.h>

#include <gtest/gtest.h>

namespace {

// A node with a colour input, a colour output and a light-data array. Its
// compute walks the array past its end and reports what it saw.
struct Probe : public MPxNode {
    static MObject colourR, colourG, colourB, colour, outR, outG, outB, out, lights;
    static MObject dir, dirX, dirY, dirZ, inten, intenR, intenG, intenB, amb, dif, specular, shadow, pre, blind;
    static std::vector<MStatus> nextStatuses;
    static unsigned counted;
    static float firstIntensity;
    static void (*probeBlock)(const Probe& self, MDataBlock& block);  // run by compute when set

    static void* creator() { return new Probe; }
    static MStatus initialize()
    {
        MFnNumericAttribute n;
        colourR = n.create("colourR", "cr", MFnNumericData::kFloat, 0.25);
        colourG = n.create("colourG", "cg", MFnNumericData::kFloat, 0.5);
        colourB = n.create("colourB", "cb", MFnNumericData::kFloat, 0.75);
        colour = n.create("colour", "c", colourR, colourG, colourB);
        n.setMin(0.0, 0.0, 0.0);
        n.setMax(1.0, 2.0, 3.0);
        outR = n.create("outR", "or", MFnNumericData::kFloat, 0);
        outG = n.create("outG", "og", MFnNumericData::kFloat, 0);
        outB = n.create("outB", "ob", MFnNumericData::kFloat, 0);
        out = n.create("out", "o", outR, outG, outB);
        n.setWritable(false);
        dirX = n.create("dirX", "dx", MFnNumericData::kFloat, 1);
        dirY = n.create("dirY", "dy", MFnNumericData::kFloat, 1);
        dirZ = n.create("dirZ", "dz", MFnNumericData::kFloat, 1);
        dir = n.create("dir", "d", dirX, dirY, dirZ);
        intenR = n.create("intenR", "ir", MFnNumericData::kFloat, 1);
        intenG = n.create("intenG", "ig", MFnNumericData::kFloat, 1);
        intenB = n.create("intenB", "ib", MFnNumericData::kFloat, 1);
        inten = n.create("inten", "i", intenR, intenG, intenB);
        amb = n.create("amb", "a", MFnNumericData::kBoolean, 1);
        dif = n.create("dif", "df", MFnNumericData::kBoolean, 1);
        specular = n.create("specular", "s", MFnNumericData::kBoolean, 0);
        shadow = n.create("shadow", "sh", MFnNumericData::kFloat, 1);
        pre = n.create("pre", "p", MFnNumericData::kFloat, 1);
        blind = n.createAddr("blind", "b");
        MFnLightDataAttribute l;
        lights = l.create("lights", "l", dir, inten, amb, dif, specular, shadow, pre, blind);
        l.setArray(true);
        addAttribute(colour);
        addAttribute(out);
        addAttribute(lights);
        attributeAffects(colour, out);
        attributeAffects(lights, out);
        return MS::kSuccess;
    }
    MStatus compute(const MPlug& plug, MDataBlock& block) override
    {
        if (!(plug == out))
            return MS::kUnknownParameter;
        if (probeBlock)
            probeBlock(*this, block);
        MArrayDataHandle a = block.inputArrayValue(lights);
        counted = a.elementCount();
        nextStatuses.clear();
        if (counted)
            firstIntensity = a.inputValue().child(inten).asFloatVector().x;
        for (unsigned i = 0; i < counted + 1; ++i)
            nextStatuses.push_back(a.next());
        MDataHandle h = block.outputValue(out);
        h.asFloatVector() = block.inputValue(colour).asFloatVector();
        h.setClean();
        return MS::kSuccess;
    }
};

MObject Probe::colourR, Probe::colourG, Probe::colourB, Probe::colour, Probe::outR, Probe::outG, Probe::outB, Probe::out,
    Probe::lights, Probe::dir, Probe::dirX, Probe::dirY, Probe::dirZ, Probe::inten, Probe::intenR, Probe::intenG,
    Probe::intenB, Probe::amb, Probe::dif, Probe::specular, Probe::shadow, Probe::pre, Probe::blind;
std::vector<MStatus> Probe::nextStatuses;
unsigned Probe::counted = 0;
float Probe::firstIntensity = 0.0f;
void (*Probe::probeBlock)(const Probe&, MDataBlock&) = nullptr;

// A second node type, whose attributes a probe's data block must refuse.
struct Other : public MPxNode {
    static MObject level;
    static void* creator() { return new Other; }
    static MStatus initialize()
    {
        MFnNumericAttribute n;
        level = n.create("level", "lv", MFnNumericData::kFloat, 0.5);
        return addAttribute(level);
    }
};
MObject Other::level;

void registerProbe()
{
    if (mayahost::findNodeType("probe"))
        return;
    MObject none;
    MFnPlugin plugin(none);
    ASSERT_EQ(plugin.registerNode("probe", 0x100, Probe::creator, Probe::initialize), MS::kSuccess);
    ASSERT_EQ(plugin.registerNode("probeOther", 0x102, Other::creator, Other::initialize), MS::kSuccess);
}

// A refused handle reads zero and takes writes without touching the block.
void expectRefused(MDataHandle h, const char* what)
{
    EXPECT_EQ(h.asFloat(), 0.0f) << what;
    EXPECT_EQ(h.asFloatVector().y, 0.0f) << what;
    EXPECT_FALSE(h.asBool()) << what;
    EXPECT_EQ(h.asAddr(), nullptr) << what;
    h.asFloatVector() = MFloatVector(7.0f, 7.0f, 7.0f);
}

}  // namespace

TEST(MayaStandin, NormalizeLeavesZeroAndTinyVectorsAlone)
{
    MFloatVector zero(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(zero.normalize(), MS::kSuccess);
    EXPECT_EQ(zero, MFloatVector(0.0f, 0.0f, 0.0f));
    MFloatVector tiny(1e-11f, 0.0f, 0.0f);  // squared length 1e-22
    tiny.normalize();
    EXPECT_EQ(tiny.x, 1e-11f);
    MFloatVector v(0.0f, 3.0f, 4.0f);
    v.normalize();
    EXPECT_FLOAT_EQ(v.y, 0.6f);
    EXPECT_FLOAT_EQ(v.z, 0.8f);
    // Maya multiplies by the reciprocal length; for (2, 3, 6) that is one bit
    // away from dividing y and z by the length 7.
    MFloatVector w(2.0f, 3.0f, 6.0f);
    w.normalize();
    const float factor = 1.0f / 7.0f;
    EXPECT_EQ(w.y, 3.0f * factor);
    EXPECT_EQ(w.z, 6.0f * factor);
    EXPECT_NE(w.z, 6.0f / 7.0f);
}

TEST(MayaStandin, MStringAppendsACharacterAsANumberAsMayaDoes)
{
    MString s("a");
    s += 'b';  // there is no operator+=(char): the int overload takes it
    EXPECT_STREQ(s.asChar(), "a98");
}

TEST(MayaStandin, NodeKindsAreReportedByName)
{
    EXPECT_STREQ(mayahost::nodeKindName(MPxNode::kDependNode), "kDependNode");
    EXPECT_STREQ(mayahost::nodeKindName(MPxNode::kFluidEmitterNode), "kFluidEmitterNode");
    EXPECT_STREQ(mayahost::nodeKindName(MPxNode::kImagePlaneNode), "kImagePlaneNode");
    EXPECT_STREQ(mayahost::nodeKindName(MPxNode::kParticleAttributeMapperNode), "kParticleAttributeMapperNode");
    EXPECT_EQ(mayahost::nodeKindName(MPxNode::kLast), nullptr);
    EXPECT_EQ(mayahost::nodeKindName(static_cast<MPxNode::Type>(99)), nullptr);

    MObject none;
    MFnPlugin plugin(none);
    EXPECT_EQ(plugin.registerNode("oddKind", 0x101, Probe::creator, Probe::initialize,
                                  static_cast<MPxNode::Type>(MPxNode::kLast)),
              MS::kInvalidParameter);
    EXPECT_EQ(mayahost::findNodeType("oddKind"), nullptr);
}

TEST(MayaStandin, PlugEqualityTellsChildrenFromTheirParent)
{
    registerProbe();
    const MPlug child(MObject(), Probe::outG);
    EXPECT_TRUE(child == Probe::outG);
    EXPECT_FALSE(child == Probe::out);
    EXPECT_TRUE(child.parent() == Probe::out);
    EXPECT_TRUE(child.isChild());
    EXPECT_FALSE(MPlug(MObject(), Probe::out).isChild());
}

TEST(MayaStandin, NextFailsAtTheEndAndKeepsFailing)
{
    registerProbe();
    mayahost::Node node("probe");
    mayahost::LightSample l[2];
    l[0].intensity[0] = 0.5f;
    node.setLights(l, 2);
    node.getAttr("out");
    EXPECT_EQ(Probe::counted, 2u);
    EXPECT_EQ(Probe::firstIntensity, 0.5f) << "the handle starts on the first element";
    ASSERT_EQ(Probe::nextStatuses.size(), 3u);
    EXPECT_EQ(Probe::nextStatuses[0], MS::kSuccess);
    EXPECT_EQ(Probe::nextStatuses[1], MS::kFailure);
    EXPECT_EQ(Probe::nextStatuses[2], MS::kFailure);
    node.setLights(nullptr, 0);
    node.getAttr("out");
    EXPECT_EQ(Probe::counted, 0u);
}

TEST(MayaStandin, SetAttrClampsToHardLimitsPerComponent)
{
    registerProbe();
    mayahost::Node node("probe");
    EXPECT_EQ(node.getAttr("out").v[2], 0.75f) << "the output computes from the defaults";
    node.setAttr("colour", {3, {-1.0f, 5.0f, 2.5f}});
    const mayahost::AttrValue c = node.getAttr("colour");
    EXPECT_EQ(c.v[0], 0.0f);
    EXPECT_EQ(c.v[1], 2.0f);
    EXPECT_EQ(c.v[2], 2.5f);
    EXPECT_THROW(node.setAttr("nothing", {1, {0.0f}}), mayahost::Error);
    EXPECT_THROW(node.setAttr("colour", {1, {0.0f}}), mayahost::Error);
}

TEST(MayaStandin, DirtyPropagationReachesCompoundsAndChildrenTogether)
{
    registerProbe();
    mayahost::Node node("probe");
    node.getAttr("out");
    EXPECT_FALSE(node.isDirty("outR"));
    node.setAttr("colourG", {1, {0.1f}});
    EXPECT_TRUE(node.isDirty("out"));
    EXPECT_TRUE(node.isDirty("outB"));
    EXPECT_EQ(node.getAttr("outG").v[0], 0.1f);
    EXPECT_EQ(node.computeCalls(), 3u) << "out, then outG refused and out again";
    EXPECT_EQ(node.lastComputePlug(), "out") << "a child the node does not know is asked for by its parent";
    EXPECT_FALSE(node.isDirty("outR"));
}

// The data block and its handles accept an attribute with one cheap check; any
// attribute that has no value where it is asked for gets a handle on nothing.
TEST(MayaStandin, AccessorsRefuseAttributesWithoutAValueThere)
{
    registerProbe();
    mayahost::Node other("probeOther");
    mayahost::Node node("probe");
    mayahost::LightSample l[1];
    l[0].intensity[1] = 0.25f;
    node.setLights(l, 1);
    Probe::probeBlock = [](const Probe& self, MDataBlock& block) {
        MStatus status;
        expectRefused(block.inputValue(Other::level, &status), "another type's attribute");
        EXPECT_EQ(status, MS::kInvalidParameter);
        expectRefused(block.inputValue(Probe::inten, &status), "a value inside array elements");
        EXPECT_EQ(status, MS::kInvalidParameter);
        expectRefused(block.inputValue(Probe::lights), "an array");
        expectRefused(block.inputValue(self.thisMObject()), "a node, not an attribute");
        expectRefused(block.inputValue(MObject()), "the null object");
        block.inputValue(Probe::colour, &status);
        EXPECT_EQ(status, MS::kSuccess);
        EXPECT_EQ(block.inputValue(Probe::colourG).asFloat(), 0.5f) << "a compound's child reads its component";
        EXPECT_EQ(block.inputValue(Probe::colour).child(Probe::colourB).asFloat(), 0.75f);

        MDataHandle element = block.inputArrayValue(Probe::lights).inputValue();
        EXPECT_EQ(element.child(Probe::inten).child(Probe::intenG).asFloat(), 0.25f);
        expectRefused(element.child(Probe::intenG), "a grandchild");
        expectRefused(element.child(Probe::colour), "a top-level attribute");
        expectRefused(element.child(Other::level), "another type's top-level attribute");
        expectRefused(element.child(self.thisMObject()), "a node");
        expectRefused(block.inputValue(Probe::colour).child(Probe::intenR), "another compound's child");
        // Handles on nothing have no children, not even attributes without a parent.
        expectRefused(MDataHandle().child(Probe::colour), "a default handle's child");
        expectRefused(block.inputValue(Probe::inten).child(Probe::colour), "a refused handle's child");
        expectRefused(block.inputValue(Probe::inten).child(Probe::lights), "a refused handle's array");
        EXPECT_EQ(block.inputValue(Probe::colourR).asFloat(), 0.25f) << "writes to refused handles went nowhere";
    };
    node.getAttr("out");
    Probe::probeBlock = nullptr;
    EXPECT_EQ(node.getAttr("colour").v[1], 0.5f);
    EXPECT_EQ(other.getAttr("level").v[0], 0.5f);
}
