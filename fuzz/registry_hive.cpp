// The registry hive of the state directory: parsed, walked key by key, written
// as text and parsed again. What the hive writes it must read back as it was:
// text -> parse -> text gives the same text, and every value survives.
#include "fuzz/fuzz_support.h"
#include "platform/registry.h"

namespace {

using vnk::platform::RegistryHive;

// The keys below key, each found in other too. Each look-up goes through the
// whole hive, so the walk stops after a few hundred keys.
void walk(const RegistryHive& hive, const RegistryHive& other, const std::string& key, int& budget) {
    for (const auto& sub : hive.subkeys(key)) {
        if (--budget < 0)
            return;
        const std::string path = key + "\\" + sub;
        if (!hive.hasKey(path) || !other.hasKey(path))
            std::abort();
        walk(hive, other, path, budget);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > RegistryHive::MaxHiveBytes)
        return 0; // load() refuses such a file before parsing it
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const RegistryHive hive = RegistryHive::parse(input);
    const std::string text = hive.text();
    const RegistryHive again = RegistryHive::parse(text);
    if (again.text() != text)
        std::abort();

    // The keys a program looks at, found through both hives the same way.
    int budget = 300;
    for (const char* root : {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT"})
        walk(hive, again, root, budget);
    const char* key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quenby\\Quenby Administrator";
    const auto* path = hive.value(key, "Path");
    const auto* pathAgain = again.value(key, "Path");
    if ((path == nullptr) != (pathAgain == nullptr) || (path && *path != *pathAgain))
        std::abort();

    // A value set on a parsed hive is read back, and the hive still writes
    // text that reads as itself.
    RegistryHive edited = hive;
    const std::string name(input.substr(0, std::min<std::size_t>(input.size(), 40)));
    if (edited.setValue(key, name, std::string(input.substr(std::min<std::size_t>(input.size(), 40))))) {
        const auto* v = edited.value(key, name);
        if (!v)
            std::abort();
        const std::string editedText = edited.text();
        const RegistryHive reread = RegistryHive::parse(editedText);
        const auto* back = reread.value(key, name);
        if (!back || *back != *v || reread.text() != editedText)
            std::abort();
    }
    edited.removeKey("HKEY_LOCAL_MACHINE\\SOFTWARE");
    if (edited.hasKey(key))
        std::abort();
    return 0;
}
