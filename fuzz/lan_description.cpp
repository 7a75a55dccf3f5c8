// The simulated LAN's description file, read as vnksim reads it: its boxes and
// PCs with their keys and faults, and its NetWare file servers with their
// binderies. A file either gives a LAN or mistakes, never both and never neither,
// and what it gives is something the simulator can run.
#include "fuzz/fuzz_support.h"
#include "protocol/records.h"
#include "sim/lan_description.h"

#include <algorithm>

namespace {

bool chance(double p) { return p >= 0 && p <= 1; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vnk;
    const std::string path = fuzz::inputFile(data, size, ".ini");
    std::string error;
    const sim::LanDescription lan = sim::loadLan(path, &error);
    if (lan.boxes.empty() != !error.empty())
        std::abort();
    if (lan.boxes.empty() && !lan.fileServers.empty())
        std::abort();

    std::vector<protocol::MacAddress> nodes;
    for (const sim::BoxSpec& b : lan.boxes) {
        nodes.push_back(b.mac);
        if (protocol::recordChecksum(b.record) != b.record[protocol::ChecksumOffset])
            std::abort();
        if (!std::equal(b.mac.begin(), b.mac.end(), b.record.begin() + protocol::record::EthernetAddress))
            std::abort();
        if (b.deviceName.size() > 8 || b.printers.size() > 5)
            std::abort();
        const sim::FaultSpec& f = b.faults;
        if (!chance(f.drop) || !chance(f.duplicate) || !chance(f.garble) || f.delayMs < 0 || f.truncate < 0 ||
            f.extend < 0)
            std::abort();
        if (std::any_of(f.ignore.begin(), f.ignore.end(), [](int c) { return c < 0 || c > 255; }))
            std::abort();
        if (b.firmware.retryAfter.count() < 1)
            std::abort();
    }
    for (const sim::FileServerSpec& fs : lan.fileServers) {
        nodes.push_back(fs.node);
        if (fs.name.empty() || fs.name.size() > sim::netware::MaxNameLength || fs.ncpSocket == 0 ||
            fs.ncpSocket == sim::netware::SapSocket)
            std::abort();
        std::uint32_t lastId = 0;
        for (const sim::BinderyObject& o : fs.bindery) {
            if (o.name.empty() || o.name.size() > sim::netware::MaxNameLength || o.id <= lastId)
                std::abort();
            lastId = o.id;
        }
    }
    // One device per Ethernet address, boxes, PCs and file servers alike.
    std::sort(nodes.begin(), nodes.end());
    if (std::adjacent_find(nodes.begin(), nodes.end()) != nodes.end())
        std::abort();
    return 0;
}
