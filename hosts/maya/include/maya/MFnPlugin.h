// Maya stand-in: MFnPlugin, the function set a plug-in registers its types with.
//
// Exactly one source file of a plug-in includes this header: it also emits the
// exported MApiVersion text that Maya reads when it loads the library (unless
// MNoVersionString is defined).
#ifndef MAYA_STANDIN_MFNPLUGIN_H
#define MAYA_STANDIN_MFNPLUGIN_H

#include <maya/MObject.h>
#include <maya/MPxNode.h>
#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypeId.h>
#include <maya/MTypes.h>

namespace mayahost { struct PluginRecord; }

class MAYA_STANDIN_API MFnPlugin {
public:
    MFnPlugin(MObject& object, const char* vendor = "Unknown", const char* version = "Unknown",
              const char* requiredApiVersion = "Any", MStatus* ReturnStatus = 0L);
    ~MFnPlugin();

    MStatus registerNode(const MString& typeName, const MTypeId& typeId, MCreatorFunction creatorFunction,
                         MInitializeFunction initFunction, MPxNode::Type type = MPxNode::kDependNode,
                         const MString* classification = NULL);
    MStatus deregisterNode(const MTypeId& typeId);

    MString vendor(MStatus* ReturnStatus = NULL) const;
    MString version(MStatus* ReturnStatus = NULL) const;
    MString apiVersion(MStatus* ReturnStatus = NULL) const;

private:
    MFnPlugin(const MFnPlugin&);
    MFnPlugin& operator=(const MFnPlugin&);
    mayahost::PluginRecord* plugin_;
    MString vendor_;
    MString version_;
    MString apiVersion_;
};

#ifndef MNoVersionString
#define MAYA_STANDIN_STR2(x) #x
#define MAYA_STANDIN_STR(x) MAYA_STANDIN_STR2(x)
// Maya's header defines it as a plain, writable character array.
extern "C" {
#if defined(_WIN32)
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
char MApiVersion[] = MAYA_STANDIN_STR(MAYA_API_VERSION);
}
#endif

#endif
