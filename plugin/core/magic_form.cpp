// The rules of the magic packet form and of the plug-in's embed arguments,
// shared by the plug-in's window and the administration web server.
#include "plugin/core/admin.h"

#include "platform/registry.h"

namespace vnk::plugin {

namespace {

bool equalsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (lower(static_cast<unsigned char>(a[i])) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && !b[i];
}

} // namespace

InstanceFlags instanceFlagsOf(const std::vector<std::pair<std::string, std::string>>& arguments) {
    InstanceFlags flags;
    for (const auto& [name, value] : arguments) {
        if (!equalsIgnoringCase(value, "true"))
            continue;
        if (equalsIgnoringCase(name, "magicpacket"))
            flags.magicPacket = true;
        else if (equalsIgnoringCase(name, "batch"))
            flags.batch = true;
    }
    return flags;
}

std::string formBoxText(std::string text, std::size_t limit) {
    if (text.size() > limit)
        text.resize(limit);
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return text;
}

std::optional<std::string> lastSentMac(const std::string& stateDir) {
    return platform::queryRegistryString(AdministratorKey, "MAC", 100, stateDir);
}

wol::WakeResult sendFromForm(const std::string& ipText, const std::string& macText, const wol::WolDestination& where,
                             const platform::Timing& timing, platform::ErrorReporter& reporter,
                             const std::string& stateDir) {
    const wol::WakeResult result = wol::SendMagicPacket(ipText, macText, where, timing, false, reporter);
    if (result == wol::WakeResult::Sent)
        // Stored only where the key can be opened, that is where it exists.
        platform::updateRegistry(
            [&macText](platform::RegistryHive& hive) {
                return hive.hasKey(AdministratorKey) && hive.setValue(AdministratorKey, "MAC", macText);
            },
            stateDir);
    return result;
}

} // namespace vnk::plugin
