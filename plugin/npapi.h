// The Netscape plug-in interface as this system uses it: the error codes, the
// instance record, the window record, streams and the two function tables the
// browser and the plug-in exchange. The browser here is npkova-host (or any
// program that plays its part); the window handle it gives is a QWidget* of its
// own, into which the plug-in puts its window.
//
// Both tables begin with their size in bytes and a version. The size checks
// keep the minimums of the tables' first, 4-byte-pointer form (52 bytes for the
// plug-in's, 68 for the browser's); with 8-byte pointers ours are larger, and a
// browser fills size with sizeof(table).
#pragma once

#include <cstdint>

using NPError = std::int16_t;
using NPBool = unsigned char;
using NPMIMEType = char*;

inline constexpr NPError NPERR_NO_ERROR = 0;
inline constexpr NPError NPERR_GENERIC_ERROR = 1;
inline constexpr NPError NPERR_INVALID_INSTANCE_ERROR = 2;
inline constexpr NPError NPERR_INVALID_FUNCTABLE_ERROR = 3;
inline constexpr NPError NPERR_INCOMPATIBLE_VERSION_ERROR = 8;

// The version the plug-in writes into its table.
inline constexpr std::uint16_t NP_PLUGIN_TABLE_VERSION = 9;
// The smallest tables the plug-in takes (sizes of the 4-byte-pointer form).
inline constexpr std::uint16_t NP_MIN_PLUGIN_TABLE_SIZE = 52;
inline constexpr std::uint16_t NP_MIN_BROWSER_TABLE_SIZE = 68;

// How an instance was placed in its page.
inline constexpr std::uint16_t NP_EMBED = 1;
inline constexpr std::uint16_t NP_FULL = 2;

extern "C" {

// One embedded instance: pdata is the plug-in's, ndata the browser's.
struct NPP_t {
    void* pdata;
    void* ndata;
};
using NPP = NPP_t*;

struct NPRect {
    std::uint16_t top, left, bottom, right;
};

// The window the browser gives an instance. window is the browser's QWidget*
// (null: the instance has no window yet); the rest is where it lies.
struct NPWindow {
    void* window;
    std::int32_t x, y;
    std::uint32_t width, height;
    NPRect clipRect;
};

struct NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    std::uint32_t end;
    std::uint32_t lastmodified;
    void* notifyData;
};

struct NPSavedData {
    std::int32_t len;
    void* buf;
};

struct NPByteRange {
    std::int32_t offset;
    std::uint32_t length;
    NPByteRange* next;
};

// Values a browser can ask the library for with NP_GetValue.
enum NPPVariable : int {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
};

using NPP_NewProcPtr = NPError (*)(NPMIMEType pluginType, NPP instance, std::uint16_t mode, std::int16_t argc,
                                   char* argn[], char* argv[], NPSavedData* saved);
using NPP_DestroyProcPtr = NPError (*)(NPP instance, NPSavedData** save);
using NPP_SetWindowProcPtr = NPError (*)(NPP instance, NPWindow* window);
using NPP_NewStreamProcPtr = NPError (*)(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                                         std::uint16_t* stype);
using NPP_DestroyStreamProcPtr = NPError (*)(NPP instance, NPStream* stream, NPError reason);
using NPP_StreamAsFileProcPtr = void (*)(NPP instance, NPStream* stream, const char* fname);
using NPP_WriteReadyProcPtr = std::int32_t (*)(NPP instance, NPStream* stream);
using NPP_WriteProcPtr = std::int32_t (*)(NPP instance, NPStream* stream, std::int32_t offset, std::int32_t len,
                                          void* buffer);
using NPP_PrintProcPtr = void (*)(NPP instance, void* platformPrint);
using NPP_HandleEventProcPtr = std::int16_t (*)(NPP instance, void* event);
using NPP_URLNotifyProcPtr = void (*)(NPP instance, const char* url, NPError reason, void* notifyData);

// The plug-in's table, filled by NP_GetEntryPoints.
struct NPPluginFuncs {
    std::uint16_t size;
    std::uint16_t version;
    NPP_NewProcPtr newp;
    NPP_DestroyProcPtr destroy;
    NPP_SetWindowProcPtr setwindow;
    NPP_NewStreamProcPtr newstream;
    NPP_DestroyStreamProcPtr destroystream;
    NPP_StreamAsFileProcPtr asfile;
    NPP_WriteReadyProcPtr writeready;
    NPP_WriteProcPtr write;
    NPP_PrintProcPtr print;
    NPP_HandleEventProcPtr event;
    NPP_URLNotifyProcPtr urlnotify;
    void* javaClass; // the scripting class: none
};

using NPN_GetURLProcPtr = NPError (*)(NPP instance, const char* url, const char* target);
using NPN_PostURLProcPtr = NPError (*)(NPP instance, const char* url, const char* target, std::uint32_t len,
                                       const char* buf, NPBool file);
using NPN_RequestReadProcPtr = NPError (*)(NPStream* stream, NPByteRange* rangeList);
using NPN_NewStreamProcPtr = NPError (*)(NPP instance, NPMIMEType type, const char* target, NPStream** stream);
using NPN_WriteProcPtr = std::int32_t (*)(NPP instance, NPStream* stream, std::int32_t len, void* buffer);
using NPN_DestroyStreamProcPtr = NPError (*)(NPP instance, NPStream* stream, NPError reason);
using NPN_StatusProcPtr = void (*)(NPP instance, const char* message);
using NPN_UserAgentProcPtr = const char* (*)(NPP instance);
using NPN_MemAllocProcPtr = void* (*)(std::uint32_t size);
using NPN_MemFreeProcPtr = void (*)(void* ptr);
using NPN_MemFlushProcPtr = std::uint32_t (*)(std::uint32_t size);
using NPN_ReloadPluginsProcPtr = void (*)(NPBool reloadPages);
using NPN_GetJavaEnvProcPtr = void* (*)();
using NPN_GetJavaPeerProcPtr = void* (*)(NPP instance);
using NPN_GetURLNotifyProcPtr = NPError (*)(NPP instance, const char* url, const char* target, void* notifyData);
using NPN_PostURLNotifyProcPtr = NPError (*)(NPP instance, const char* url, const char* target,
                                             std::uint32_t len, const char* buf, NPBool file, void* notifyData);

// The browser's table, given to NP_Initialize. The high byte of version is
// the major version.
struct NPNetscapeFuncs {
    std::uint16_t size;
    std::uint16_t version;
    NPN_GetURLProcPtr geturl;
    NPN_PostURLProcPtr posturl;
    NPN_RequestReadProcPtr requestread;
    NPN_NewStreamProcPtr newstream;
    NPN_WriteProcPtr write;
    NPN_DestroyStreamProcPtr destroystream;
    NPN_StatusProcPtr status;
    NPN_UserAgentProcPtr uagent;
    NPN_MemAllocProcPtr memalloc;
    NPN_MemFreeProcPtr memfree;
    NPN_MemFlushProcPtr memflush;
    NPN_ReloadPluginsProcPtr reloadplugins;
    NPN_GetJavaEnvProcPtr getJavaEnv;
    NPN_GetJavaPeerProcPtr getJavaPeer;
    NPN_GetURLNotifyProcPtr geturlnotify;
    NPN_PostURLNotifyProcPtr posturlnotify;
};

// The library's exports, as a browser looks them up by name.
using NP_GetEntryPointsFunc = NPError (*)(NPPluginFuncs* pluginFuncs);
using NP_InitializeFunc = NPError (*)(NPNetscapeFuncs* browserFuncs);
using NP_ShutdownFunc = NPError (*)();
using NP_GetMIMEDescriptionFunc = const char* (*)();
using NP_GetValueFunc = NPError (*)(void* future, NPPVariable variable, void* value);
using NP_GetPluginVersionFunc = const char* (*)();

} // extern "C"
