// Entry points of the coolwarm plug-in: register the node type on load, remove it
// on unload, and refresh the render-node creation window after each.
//
// This is the one source that includes MFnPlugin.h, which emits MApiVersion.
#include "coolwarmNode.h"

#include <maya/MFnPlugin.h>
#include <maya/MGlobal.h>
#include <maya/MString.h>

#if defined(_WIN32)
#define COOLWARM_EXPORT extern "C" __declspec(dllexport)
#else
#define COOLWARM_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Maya finds the entry points by their plain names, hence C linkage; it calls
// them as C++ functions, so returning MStatus by value is sound and the warning
// about a class returned from a C function does not apply.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#elif defined(_MSC_VER)
#pragma warning(disable : 4190)
#endif

namespace {
const char kClassification[] = "shader/surface";
// The refresh command wraps the classification; MEL substitutes the window test.
const char kRefreshFirst[] = "if( `window -exists createRenderNodeWindow` )  {refreshCreateRenderNodeWindow(\"";
const char kRefreshLast[] = "\");}\n";
}  // namespace

// Neither entry point fails: a refused registration is reported by Maya itself.
COOLWARM_EXPORT MStatus initializePlugin(MObject obj)
{
    const MString classification(kClassification);
    MString command(kRefreshFirst);
    MFnPlugin plugin(obj, "Halvick : Zarnwerk", "1.0", "Any");
    plugin.registerNode("coolwarm", coolwarm::id, coolwarm::creator, coolwarm::initialize, MPxNode::kDependNode,
                        &classification);
    command += classification;
    command += kRefreshLast;
    MGlobal::executeCommand(command, false, false);
    return MS::kSuccess;
}

COOLWARM_EXPORT MStatus uninitializePlugin(MObject obj)
{
    const MString classification(kClassification);
    MString command(kRefreshFirst);
    MFnPlugin plugin(obj, "Unknown", "Unknown", "Any");
    plugin.deregisterNode(coolwarm::id);
    command += classification;
    command += kRefreshLast;
    MGlobal::executeCommand(command, false, false);
    return MS::kSuccess;
}
