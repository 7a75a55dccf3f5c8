#include "plugin/npkova.h"

#include "plugin/plugin_window.h"
#include "sheet/ui_services.h"

#include <QWidget>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vnk::plugin {

namespace {

// The browser's table, copied when NP_Initialize accepts it and forgotten by
// NP_Shutdown. A copy, so that nothing here points into the browser's memory.
std::optional<NPNetscapeFuncs> g_browser;

sheet::UiServices* g_ui = nullptr;
platform::Timing g_timing = platform::Timing::real();

sheet::UiServices& ui() {
    if (g_ui)
        return *g_ui;
    static sheet::QtUiServices real;
    return real;
}

// Sets one entry of a table the caller sized: an entry that does not lie
// wholly inside the size it gave is left alone, so a table smaller than ours
// is never written past its end.
template <class Table, class T> void setEntry(Table* table, T Table::*entry, T value) {
    const auto offset = reinterpret_cast<const char*>(&(table->*entry)) - reinterpret_cast<const char*>(table);
    if (std::size_t(offset) + sizeof(T) <= table->size)
        table->*entry = value;
}

InstanceData* dataOf(NPP instance) {
    return instance ? static_cast<InstanceData*>(instance->pdata) : nullptr;
}

NPError NewInstance(NPMIMEType, NPP instance, std::uint16_t, std::int16_t argc, char* argn[], char* argv[],
                    NPSavedData*) {
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    auto data = std::make_unique<InstanceData>();
    data->instance = instance;
    data->flags = instanceFlags(argc, argn, argv);
    instance->pdata = data.release();
    return NPERR_NO_ERROR;
}

NPError DestroyInstance(NPP instance, NPSavedData**) {
    InstanceData* data = dataOf(instance);
    if (!data)
        return NPERR_NO_ERROR;
    if (data->window) {
        data->window->release();
        delete data->window.data();
    }
    delete data;
    instance->pdata = nullptr;
    return NPERR_NO_ERROR;
}

NPError SetWindow(NPP instance, NPWindow* window) {
    if (!window)
        return NPERR_GENERIC_ERROR;
    if (!instance)
        return NPERR_INVALID_INSTANCE_ERROR;
    InstanceData* data = dataOf(instance);
    if (!data)
        return NPERR_GENERIC_ERROR;
    // The work starts once, with the first window; later windows only repaint.
    if (window->window && !data->started) {
        data->started = true;
        WorkServices services;
        services.ui = &ui();
        services.timing = g_timing;
        services.getUrl = [instance](const char* url, const char* target) {
            if (g_browser && g_browser->geturl)
                g_browser->geturl(instance, url, target);
        };
        data->window = new PluginWindow(static_cast<QWidget*>(window->window), *data, std::move(services));
        data->window->startWork();
    }
    if (data->window)
        data->window->repaint();
    return NPERR_NO_ERROR;
}

NPError NewStream(NPP instance, NPMIMEType, NPStream*, NPBool, std::uint16_t*) {
    return instance ? NPERR_NO_ERROR : NPERR_INVALID_INSTANCE_ERROR;
}

NPError DestroyStream(NPP, NPStream*, NPError) {
    return NPERR_NO_ERROR;
}

void StreamAsFile(NPP, NPStream*, const char*) {}

std::int32_t WriteReady(NPP, NPStream*) {
    return 0xFFFF;
}

// Whatever the browser streams is taken and dropped.
std::int32_t Write(NPP, NPStream*, std::int32_t, std::int32_t len, void*) {
    return len;
}

void Print(NPP, void*) {}

} // namespace

InstanceFlags instanceFlags(std::int16_t argc, const char* const argn[], const char* const argv[]) {
    std::vector<std::pair<std::string, std::string>> arguments;
    for (std::int16_t i = 0; argn && argv && i < argc; ++i)
        if (argn[i] && argv[i])
            arguments.emplace_back(argn[i], argv[i]);
    return instanceFlagsOf(arguments);
}

NPError getEntryPoints(NPPluginFuncs* table) {
    if (!table || table->size < NP_MIN_PLUGIN_TABLE_SIZE)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    table->version = NP_PLUGIN_TABLE_VERSION;
    setEntry(table, &NPPluginFuncs::newp, NPP_NewProcPtr(&NewInstance));
    setEntry(table, &NPPluginFuncs::destroy, NPP_DestroyProcPtr(&DestroyInstance));
    setEntry(table, &NPPluginFuncs::setwindow, NPP_SetWindowProcPtr(&SetWindow));
    setEntry(table, &NPPluginFuncs::newstream, NPP_NewStreamProcPtr(&NewStream));
    setEntry(table, &NPPluginFuncs::destroystream, NPP_DestroyStreamProcPtr(&DestroyStream));
    setEntry(table, &NPPluginFuncs::asfile, NPP_StreamAsFileProcPtr(&StreamAsFile));
    setEntry(table, &NPPluginFuncs::writeready, NPP_WriteReadyProcPtr(&WriteReady));
    setEntry(table, &NPPluginFuncs::write, NPP_WriteProcPtr(&Write));
    setEntry(table, &NPPluginFuncs::print, NPP_PrintProcPtr(&Print));
    setEntry(table, &NPPluginFuncs::event, NPP_HandleEventProcPtr(nullptr));
    setEntry(table, &NPPluginFuncs::urlnotify, NPP_URLNotifyProcPtr(nullptr));
    setEntry(table, &NPPluginFuncs::javaClass, static_cast<void*>(nullptr)); // no scripting class
    return NPERR_NO_ERROR;
}

NPError initialize(NPNetscapeFuncs* browser) {
    if (!browser)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    // A table that is refused is not kept: nothing is ever called through it.
    g_browser.reset();
    if ((browser->version >> 8) > 0)
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    if (browser->size < NP_MIN_BROWSER_TABLE_SIZE)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    NPNetscapeFuncs copy{};
    std::memcpy(&copy, browser, std::min<std::size_t>(browser->size, sizeof copy));
    g_browser = copy;
    return NPERR_NO_ERROR;
}

NPError shutdown() {
    g_browser.reset();
    return NPERR_NO_ERROR;
}

NPError getValue(NPPVariable variable, void* value) {
    if (!value)
        return NPERR_GENERIC_ERROR;
    switch (variable) {
    case NPPVpluginNameString:
        *static_cast<const char**>(value) = PluginName;
        return NPERR_NO_ERROR;
    case NPPVpluginDescriptionString:
        *static_cast<const char**>(value) = PluginDescription;
        return NPERR_NO_ERROR;
    }
    return NPERR_GENERIC_ERROR;
}

void setUiServices(sheet::UiServices* services) {
    g_ui = services;
}

void setTiming(const platform::Timing& timing) {
    g_timing = timing;
}

} // namespace vnk::plugin
