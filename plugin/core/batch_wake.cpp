// Batch mode of the plug-in: a magic packet for every PC that MagicPkt.ini in
// the administration directory names.
#include "plugin/core/admin.h"

#include <fstream>

namespace vnk::plugin {

using namespace platform;
using namespace wol;

BatchRun batchTargetsIn(const std::string& dir) {
    BatchRun run;
    std::ifstream file(dir + "/MagicPkt.ini", std::ios::binary);
    if (!file)
        return run;
    std::string text;
    char chunk[4096];
    while (file.read(chunk, sizeof chunk) || file.gcount() > 0) {
        text.append(chunk, std::size_t(file.gcount()));
        if (text.size() > MaxMagicPktBytes) {
            run.file = BatchRun::File::TooLarge;
            return run;
        }
    }
    run.file = BatchRun::File::Read;
    for (auto& [ip, mac] : magicPacketTargets(text))
        run.targets.push_back({std::move(ip), std::move(mac), WakeResult::SendFailed});
    return run;
}

BatchRun batchSendIn(const std::string& dir, const WolDestination& where, const Timing& timing,
                     ErrorReporter& reporter) {
    BatchRun run = batchTargetsIn(dir);
    for (BatchTarget& t : run.targets)
        t.result = SendMagicPacket(t.ipText, t.macText, where, timing, true, reporter);
    return run;
}

int batchSend(const WolDestination& where, const Timing& timing, ErrorReporter& reporter,
              const std::string& stateDir) {
    const auto dir = queryRegistryString(AdministratorKey, "Path", 100, stateDir);
    if (!dir || dir->empty())
        return 0;
    int sent = 0;
    for (const BatchTarget& t : batchSendIn(*dir, where, timing, reporter).targets)
        sent += t.result == WakeResult::Sent;
    return sent;
}

} // namespace vnk::plugin
