// Loads the built coolwarm plug-in once per test program through the Maya
// stand-in's host face, as Maya would.
#ifndef COOLWARM_TEST_PLUGIN_FIXTURE_H
#define COOLWARM_TEST_PLUGIN_FIXTURE_H

#include "mayaHost.h"

#include <string>

inline std::string pluginPath() { return COOLWARM_PLUGIN_FILE; }

// The plug-in stays loaded for the rest of the program once a test needs it.
inline mayahost::PluginRecord* loadedPlugin()
{
    static mayahost::PluginRecord* plugin = mayahost::loadPlugin(pluginPath());
    return plugin;
}

#endif
