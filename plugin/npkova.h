// libnpkova's inside: the plug-in's entry points and instance functions as C++
// functions (exports.cpp hands them out under their C names), and what an
// instance is. The browser calls everything on its user-interface thread.
#pragma once

#include "plugin/core/admin.h"
#include "plugin/npapi.h"
#include "platform/timing.h"

#include <QPointer>

#include <cstdint>

namespace vnk::sheet {
class UiServices;
}

namespace vnk::plugin {

class PluginWindow;

// What the browser reads to register the plug-in.
inline constexpr const char* MimeDescription = "Varnotek/x-vnk:vnk:Varnotek  (*.vnk)";
inline constexpr const char* PluginName = "Brimfold Administrator";
inline constexpr const char* PluginDescription = "Brimfold Admin Plug-in";
inline constexpr const char* PluginFileVersion = "3.0.0.1";

NPError getEntryPoints(NPPluginFuncs* table);
NPError initialize(NPNetscapeFuncs* browser);
NPError shutdown();
NPError getValue(NPPVariable variable, void* value);

// What an instance does when it first gets a window, from its embed arguments
// (instanceFlagsOf of plugin/core).
InstanceFlags instanceFlags(std::int16_t argc, const char* const argn[], const char* const argv[]);

// One embedded instance, attached to the browser's NPP as pdata.
struct InstanceData {
    NPP instance = nullptr;
    InstanceFlags flags;
    // None until the browser gives the instance a window. The browser may
    // destroy its own window (and so this one) first: the pointer then clears.
    QPointer<PluginWindow> window;
    // The work starts once, with the first window, whatever happens to it later.
    bool started = false;
};

// Where message boxes go and how long the network may take. The library uses
// real message boxes and the real timing table; tests put theirs in (for as
// long as they use the plug-in: nothing is owned here).
void setUiServices(sheet::UiServices* ui);
void setTiming(const platform::Timing& timing);

} // namespace vnk::plugin
