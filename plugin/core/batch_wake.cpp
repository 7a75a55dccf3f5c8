// Batch mode of the plug-in: a magic packet for every PC that MagicPkt.ini in
// the administration directory names.
#include "plugin/core/admin.h"

#include <fstream>

namespace vnk::plugin {

using namespace platform;
using namespace wol;

int batchSend(const WolDestination& where, const Timing& timing, ErrorReporter& reporter,
              const std::string& stateDir) {
    const auto dir = queryRegistryString(AdministratorKey, "Path", 100, stateDir);
    if (!dir || dir->empty())
        return 0;
    std::ifstream file(*dir + "/MagicPkt.ini", std::ios::binary);
    if (!file)
        return 0;
    std::string text;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, std::size_t(file.gcount()));
        if (text.size() > MaxMagicPktBytes)
            return 0;
    }
    int sent = 0;
    for (const auto& [ip, mac] : magicPacketTargets(text))
        if (SendMagicPacket(ip, mac, where, timing, true, reporter) == WakeResult::Sent)
            ++sent;
    return sent;
}

} // namespace vnk::plugin
