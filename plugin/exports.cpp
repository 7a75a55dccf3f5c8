// libnpkova's exports, by the names a browser looks up. NP_GetEntryPoints,
// NP_Initialize and NP_Shutdown are the plug-in's life; NP_GetMIMEDescription,
// NP_GetValue (name and description) and NP_GetPluginVersion are what a
// browser on Linux reads to register a plug-in, as a Windows browser reads the
// version resource of its file.
#include "plugin/npkova.h"

// Only these names leave the library (see npkova.map).
extern "C" {

NPError NP_GetEntryPoints(NPPluginFuncs* pluginFuncs) {
    return vnk::plugin::getEntryPoints(pluginFuncs);
}

NPError NP_Initialize(NPNetscapeFuncs* browserFuncs) {
    return vnk::plugin::initialize(browserFuncs);
}

NPError NP_Shutdown() {
    return vnk::plugin::shutdown();
}

const char* NP_GetMIMEDescription() {
    return vnk::plugin::MimeDescription;
}

NPError NP_GetValue(void*, NPPVariable variable, void* value) {
    return vnk::plugin::getValue(variable, value);
}

const char* NP_GetPluginVersion() {
    return vnk::plugin::PluginFileVersion;
}

} // extern "C"
