#include "cli/commands.h"

#include "platform/box_text.h"
#include "transport/wol/magic_packet.h"

#include <algorithm>
#include <fstream>

namespace vnk::cli {

using namespace protocol;

// Wake-on-LAN: one magic packet, or one for each line of a MagicPkt.ini list.
int cmdWake(Output& o, const Options& opt, const std::vector<std::string>& items, const platform::Endpoint& endpoint,
            std::ostream& err, const Environment& env) {
    const wol::WolDestination where{endpoint.broadcast, opt.wolPort.value_or(endpoint.wolPort)};
    std::vector<std::pair<std::string, std::string>> targets;
    if (opt.wakeFile) {
        const std::string& path = *opt.wakeFile;
        if (!isRegularFile(path))
            return o.fail(ExitFailure, "cannot read " + platform::terminalSafe(path));
        std::ifstream file(path, std::ios::binary);
        std::string text;
        char chunk[4096];
        while (file && text.size() <= wol::MaxMagicPktBytes &&
               (file.read(chunk, sizeof chunk) || file.gcount() > 0))
            text.append(chunk, std::size_t(file.gcount()));
        if (!file && !file.eof())
            return o.fail(ExitFailure, "cannot read " + platform::terminalSafe(path));
        if (text.size() > wol::MaxMagicPktBytes)
            return o.fail(ExitFailure, platform::terminalSafe(path) + " is larger than 1 MiB");
        targets = wol::magicPacketTargets(text);
        if (targets.empty())
            o.note(platform::terminalSafe(path) + " names no PC (only lines that end in a line feed count)");
    } else {
        targets = {{opt.wakeIp.value_or("255.255.255.255"), items[0]}};
    }

    std::string invalid = wol::InvalidEthernetIdText;
    std::replace(invalid.begin(), invalid.end(), '\n', ' ');
    StreamReporter reporter(err);
    const platform::Timing timing = env.fastTiming ? platform::Timing::fast() : platform::Timing::real();
    Json list = Json::array();
    int unsent = 0;
    bool badMac = false;
    for (const auto& [ip, mac] : targets) {
        const auto result = wol::SendMagicPacket(ip, mac, where, timing, false, reporter);
        const auto to = wol::magicPacketDestination(ip, where);
        const std::string shownMac = platform::terminalSafe(mac), shownIp = platform::terminalSafe(ip);
        const std::array<Byte, 4> toBytes{Byte(to.value_or(0) >> 24), Byte(to.value_or(0) >> 16),
                                          Byte(to.value_or(0) >> 8), Byte(to.value_or(0))};
        const std::string destination = to ? dottedAt(toBytes, 0) : std::string();
        const bool sent = result == wol::WakeResult::Sent;
        list.push_back(Json{{"ip", boxText(ip)},
                            {"ethernet", boxText(mac)},
                            {"destination", to ? Json(destination) : Json(nullptr)},
                            {"port", where.port},
                            {"sent", sent}});
        if (sent) {
            o.text() << "magic packet for " << shownMac << " sent to " << destination << " port " << where.port
                     << "\n";
            continue;
        }
        ++unsent;
        if (result == wol::WakeResult::InvalidMac) {
            badMac = true;
            if (opt.wakeFile)
                err << "vnkctl: " << shownMac << ": " << invalid << "\n";
        } else if (result == wol::WakeResult::SendFailed) {
            err << "vnkctl: not every magic packet for " << shownMac << " went out to " << shownIp << "\n";
        }
    }
    o.result()["targets"] = list;
    if (unsent == 0)
        return ExitOk;
    if (!opt.wakeFile)
        return badMac ? o.fail(ExitBadValue, platform::terminalSafe(items[0]) + ": " + invalid + " Nothing was sent.")
                      : o.fail(ExitFailure, "the magic packet was not sent");
    return o.fail(ExitFailure, std::to_string(unsent) + " of " + std::to_string(targets.size()) +
                                   " magic packets were not sent");
}

} // namespace vnk::cli
