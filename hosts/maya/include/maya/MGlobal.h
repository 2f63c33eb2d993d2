// Maya stand-in: MGlobal, the application-wide operations (here: running MEL).
#ifndef MAYA_STANDIN_MGLOBAL_H
#define MAYA_STANDIN_MGLOBAL_H

#include <maya/MStatus.h>
#include <maya/MString.h>
#include <maya/MTypes.h>

class MAYA_STANDIN_API MGlobal {
public:
    static MStatus executeCommand(const MString& command, bool displayEnabled = false, bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, int& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, double& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static MStatus executeCommand(const MString& command, MString& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static void displayInfo(const MString& text);
    static void displayWarning(const MString& text);
    static void displayError(const MString& text);
};

#endif
