// vnkbench: figures of the protocol against in-process simulated boxes on
// loopback (127.255.255.255, free ports). It prints times; it judges nothing.
//
//   firmware   a full 448-block transfer to a box that asks as fast as it can
//   discovery  a full refresh of a LAN of 30 boxes with the real timing table
//   read       one configuration record read
#include "platform/error_reporter.h"
#include "protocol/firmware.h"
#include "transport/udp/udp_context.h"
#include "sim/sim_firmware.h"
#include "sim/sim_lan.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace vnk;
using namespace vnk::protocol;
using Clock = std::chrono::steady_clock;

namespace {

class CountingReporter final : public platform::ErrorReporter {
public:
    void report(const std::string& text) override {
        ++count;
        std::fprintf(stderr, "vnkbench:%s\n", text.c_str());
    }
    int count = 0;
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Summary {
    double min, median, max;
};
Summary summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

sim::BoxSpec benchBox(int i, bool firmware) {
    sim::BoxSpec b;
    b.label = "BENCH" + std::to_string(i);
    b.mac = {0x00, 0x00, 0xB4, 0x66, Byte(i >> 8), Byte(i)};
    b.deviceName = "BENCHBOX";
    sim::setHardware(b.record, b.mac, 0x01, record::CapTcpIp, 0x15, 0x21, 0x62);
    sim::setText(b.record, record::AliasName, 16, b.label);
    b.record[record::OptionFlags] = record::OptTcpIp;
    setRecordChecksum(b.record);
    b.firmwarePresent = firmware;
    b.restartDelay = std::chrono::milliseconds(0);
    return b;
}

bool startLan(sim::SimLan& lan) {
    std::string error;
    if (!lan.start(&error)) {
        std::fprintf(stderr, "vnkbench: %s\n", error.c_str());
        return false;
    }
    return true;
}

// Fills entry by a search, the way vnkctl selects a box by its address.
bool selectBox(CPServerContext& ctx, ServerEntry& entry, const MacAddress& mac) {
    entry = ServerEntry{};
    entry.ethernet = mac;
    Byte reply[DiscoveryReplySize];
    if (ctx.XSearchPS(entry, reply) != 1)
        return false;
    std::memcpy(entry.identity.data(), reply + HeaderSize, IdentitySize);
    return true;
}

int benchFirmware(const std::string& dir, int runs) {
    const std::string path = dir + "/bench.bin";
    if (!sim::writeFile(path, sim::makeFirmwareImage("15", 0x01FF))) {
        std::fprintf(stderr, "vnkbench: cannot write %s\n", path.c_str());
        return 1;
    }
    sim::SimLan lan;
    const sim::BoxSpec spec = benchBox(1, false);
    lan.addBox(spec);
    if (!startLan(lan))
        return 1;
    CountingReporter reporter;
    UdpServerContext ctx(lan.endpoint(), platform::Timing::real(), reporter);
    ServerEntry entry;
    if (!selectBox(ctx, entry, spec.mac)) {
        std::fprintf(stderr, "vnkbench: the simulated box does not answer\n");
        return 1;
    }
    std::vector<double> toEnd, total;
    for (int run = 0; run < runs; ++run) {
        // Each run upgrades a box without firmware: one handshake, then the blocks.
        lan.withBox(0, [](sim::SimBox& b) {
            b.setFirmwarePresent(false);
            return 0;
        });
        entry.identity[identity::FirmwarePresent] = 0;
        UpgradeResult r;
        const auto start = Clock::now();
        Clock::time_point lastBlock = start;
        const int ok = XUpgradeFlashRAM(ctx, entry, path, spec.mac, 0, [&](int) { lastBlock = Clock::now(); }, &r);
        const auto end = Clock::now();
        if (!ok || r.blocksSent != firmware::FullImageBlocks) {
            std::fprintf(stderr, "vnkbench: transfer %d failed: %s\n", run + 1, upgradeEndText(r.end));
            return 1;
        }
        toEnd.push_back(ms(lastBlock - start));
        total.push_back(ms(end - start));
    }
    const Summary a = summarise(toEnd), b = summarise(total);
    std::printf("firmware transfer, 448 blocks of 1024 bytes, box asking as fast as it can (%d runs)\n", runs);
    std::printf("  handshake to last block   min %8.1f ms  median %8.1f ms  max %8.1f ms  (%.0f KiB/s at the median)\n",
                a.min, a.median, a.max, 448.0 / (a.median / 1000.0));
    std::printf("  whole XUpgradeFlashRAM    min %8.1f ms  median %8.1f ms  max %8.1f ms  (final search included)\n",
                b.min, b.median, b.max);
    return 0;
}

int benchDiscoveryAndRead(const std::string& dir, int reads) {
    sim::SimLan lan;
    for (int i = 0; i < 30; ++i)
        lan.addBox(benchBox(i + 1, true));
    if (!startLan(lan))
        return 1;
    CountingReporter reporter;
    UdpServerContext ctx(lan.endpoint(), platform::Timing::real(), reporter);
    ctx.settingsPath = dir + "/Config.ini";
    if (FILE* f = std::fopen(ctx.settingsPath.c_str(), "w")) {
        std::fputs("[General Information]\nDeviceType1=0\n", f);
        std::fclose(f);
    }

    // Discovery alone: the three broadcast passes.
    ctx.serverCount = 0;
    int s = ctx.openOperationSocket("XGetPort", true);
    if (s < 0)
        return 1;
    auto start = Clock::now();
    ctx.XGetAllPServername(s);
    const double discovery = ms(Clock::now() - start);
    platform::closeSocket(s);
    const int found = ctx.serverCount;

    start = Clock::now();
    ctx.XGetPort();
    const double refresh = ms(Clock::now() - start);
    std::printf("discovery of a LAN of 30 boxes, real timing table\n");
    std::printf("  three broadcast passes    %8.1f ms  (%d boxes found)\n", discovery, found);
    std::printf("  full refresh (XGetPort)   %8.1f ms  (%d boxes listed, each record read once)\n", refresh,
                ctx.serverCount);
    if (ctx.serverCount == 0)
        return 1;

    std::vector<double> times;
    ServerEntry& e = ctx.serverTable[0];
    for (int i = 0; i < reads; ++i) {
        start = Clock::now();
        if (ctx.XReadPServerEEProm(e, ctx.configBuffer) != 1) {
            std::fprintf(stderr, "vnkbench: a configuration read failed\n");
            return 1;
        }
        times.push_back(ms(Clock::now() - start));
    }
    const Summary r = summarise(times);
    std::printf("configuration record read (522-byte reply, %d reads)\n", reads);
    std::printf("  XReadPServerEEProm        min %8.3f ms  median %8.3f ms  max %8.3f ms\n", r.min, r.median, r.max);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 5;
    int reads = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "--runs" || a == "--reads") && i + 1 < argc) {
            const int n = std::atoi(argv[++i]);
            if (n < 1) {
                std::fprintf(stderr, "vnkbench: %s needs a positive number\n", a.c_str());
                return 2;
            }
            (a == "--runs" ? runs : reads) = n;
        } else {
            std::fprintf(stderr, "Usage: vnkbench [--runs N] [--reads N]\n"
                                 "Prints the time of a firmware transfer, a discovery of 30 boxes and a\n"
                                 "configuration read against simulated boxes on loopback.\n");
            return a == "--help" || a == "-h" ? 0 : 2;
        }
    }
    char pattern[] = "/tmp/vnkbench.XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) {
        std::perror("vnkbench: mkdtemp");
        return 1;
    }
    int rc = benchFirmware(dir, runs);
    if (rc == 0)
        rc = benchDiscoveryAndRead(dir, reads);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return rc;
}
