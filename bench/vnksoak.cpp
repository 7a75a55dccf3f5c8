// vnksoak: a long run of the record and firmware paths against in-process
// simulated boxes on loopback (127.255.255.255, free ports) whose replies are
// lost, duplicated, garbled and reordered. It prints figures and judges no
// time; it exits 1 when a count that must be 0 is not.
//
//   records   cycles of random record changes: read as the tools read before a
//             change, change some fields, write, read back; over UDP and IPX
//   firmware  whole transfers to a box that asks for its blocks out of order
//             and asks again for blocks it already has; over UDP and IPX
#include "transport/ipx/ipx_context.h"
#include "platform/error_reporter.h"
#include "protocol/consistent_read.h"
#include "protocol/firmware.h"
#include "protocol/record_fields.h"
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
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace vnk;
using namespace vnk::protocol;
using Clock = std::chrono::steady_clock;

namespace {

struct Options {
    int cycles = 1000;
    int transfers = 20;
    unsigned seed = 1;
    sim::FaultSpec faults;
    double firmwareRepeat = 0.05;
};

// Socket failures are what the tools would show; the soak counts them.
class CountingReporter final : public platform::ErrorReporter {
public:
    void report(const std::string& text) override {
        ++count;
        std::fprintf(stderr, "vnksoak:%s\n", text.c_str());
    }
    int count = 0;
};

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The fast table of the tests, with a shorter receive wait: a reply that is
// lost costs a whole receive phase, and the soak loses many.
platform::Timing soakTiming() {
    platform::Timing t = platform::Timing::fast();
    t.receiveWait = std::chrono::microseconds{5'000};
    return t;
}

void printTiming(const platform::Timing& t, const Options& o) {
    auto ms = [](std::chrono::microseconds us) { return double(us.count()) / 1000.0; };
    std::printf("timing: receive wait %.0f ms x %d attempts, send wait %.0f ms x %d, %d receives for a write over "
                "IPX, %d reads of a record before a change, block request silence %.0f ms\n",
                ms(t.receiveWait), t.receiveAttempts, ms(t.sendWait), t.sendAttempts, t.ipxLongReceives,
                t.consistentReadAttempts, ms(t.blockRequestWait));
    std::printf("faults of every request and reply: %.0f %% lost, %.0f %% sent twice; of every reply: %.0f %% one byte "
                "garbled, each up to %d ms late at random (seed %u)\n\n",
                o.faults.drop * 100, o.faults.duplicate * 100, o.faults.garble * 100, o.faults.reorderMs, o.seed);
}

// ---------------------------------------------------------------- the boxes

constexpr int RecordBoxes = 3;
constexpr int FirmwareBox = RecordBoxes; // the LAN's last box
const platform::IpxNode PcNode{0x02, 0x00, 0x00, 0x50, 0x43, 0x01};

MacAddress boxMac(int i) {
    return {0x00, 0x00, 0xB4, 0x66, 0x01, Byte(i + 1)};
}

sim::BoxSpec soakBox(int i, const Options& o) {
    sim::BoxSpec b;
    b.label = "SOAK" + std::to_string(i);
    b.mac = boxMac(i);
    b.deviceName = "SOAKBOX" + std::to_string(i);
    sim::setHardware(b.record, b.mac, 0x05, 0xFF, 0x15, 0x21, 0x62);
    sim::setText(b.record, record::AliasName, 16, b.label);
    b.record[record::OptionFlags] = record::OptTcpIp;
    b.record[record::MailPolling] = 1;
    b.record[record::NetwarePolling] = 2;
    setRecordChecksum(b.record);
    b.restartDelay = std::chrono::milliseconds(20);
    b.faults = o.faults;
    return b;
}

// A box without firmware that asks for its blocks in an order of its own,
// quickly asks again for a block that did not come, and now and then asks
// again for a block it has.
sim::BoxSpec firmwareBox(const Options& o) {
    sim::BoxSpec b = soakBox(FirmwareBox, o);
    b.firmwarePresent = false;
    b.firmware.order = sim::FirmwarePlan::Order::Shuffled;
    b.firmware.retryAfter = std::chrono::milliseconds(20);
    b.faults.firmwareRepeat = o.firmwareRepeat;
    return b;
}

// ---------------------------------------------------------------- transports

struct Transport {
    const char* name;
    std::unique_ptr<CPServerContext> ctx;
};

std::vector<Transport> transports(sim::SimLan& lan, const platform::Timing& timing, CountingReporter& reporter) {
    std::vector<Transport> t;
    t.push_back({"UDP", std::make_unique<UdpServerContext>(lan.endpoint(), timing, reporter)});
    platform::IpxSegment segment;
    segment.broadcast = lan.endpoint().broadcast;
    segment.carrierPort = lan.ipxPort();
    segment.localNode = PcNode;
    t.push_back({"IPX", std::make_unique<ipx::IpxServerContext>(lan.endpoint(), segment, timing, reporter)});
    return t;
}

// ---------------------------------------------------------------- record soak

// A random value a tool could write into a field.
std::string randomValue(const FieldDef& f, std::mt19937& rng) {
    auto pick = [&](unsigned lo, unsigned hi) { return std::uniform_int_distribution<unsigned>(lo, hi)(rng); };
    switch (f.kind) {
    case FieldKind::Text:
    case FieldKind::TextFillWidth:
    case FieldKind::TreeName: {
        const std::size_t longest = f.kind == FieldKind::TextFillWidth ? f.width : f.width - 1;
        std::string s(pick(0, unsigned(longest)), ' ');
        for (char& c : s)
            c = char(pick(0x20, 0x7E));
        return s;
    }
    case FieldKind::IPv4:
        return std::to_string(pick(0, 255)) + "." + std::to_string(pick(0, 255)) + "." +
               std::to_string(pick(0, 255)) + "." + std::to_string(pick(0, 255));
    case FieldKind::Number8:
    case FieldKind::Number16:
        return std::to_string(pick(f.minValue, f.maxValue));
    case FieldKind::FlagBit:
        return pick(0, 1) ? "1" : "0";
    case FieldKind::Bits:
    case FieldKind::Mac:
        break;
    }
    return {};
}

std::vector<const FieldDef*> writableFields() {
    std::vector<const FieldDef*> out;
    for (const FieldDef& f : allFields())
        if (!f.readOnly && f.kind != FieldKind::Mac && f.kind != FieldKind::Bits)
            out.push_back(&f);
    return out;
}

// What a box may hold: the record of the last write it confirmed, then, in the
// order they were sent, the records of later writes whose confirmation did not
// come (each may or may not have reached the box). A box never goes back to an
// older one of them once it holds a newer one.
class BoxHistory {
public:
    explicit BoxHistory(const ConfigRecord& initial) : m_possible{initial} {}
    void confirmed(const ConfigRecord& r) { m_possible = {r}; }
    void unconfirmed(const ConfigRecord& r) { m_possible.push_back(r); }
    // False when the box holds none of the possible records; from then on the
    // record it holds is taken as the base, so that one fault is counted once.
    bool check(const ConfigRecord& stored) {
        const auto it = std::find(m_possible.begin(), m_possible.end(), stored);
        if (it == m_possible.end()) {
            m_possible = {stored};
            return false;
        }
        m_possible.erase(m_possible.begin(), it);
        return true;
    }

private:
    std::vector<ConfigRecord> m_possible;
};

struct RecordFigures {
    int cycles = 0;
    int readsOk = 0, readsFailed = 0, readsInconsistent = 0;
    int writesConfirmed = 0, writesFailed = 0, failedWritesTaken = 0;
    int differing = 0;   // must be 0: the box holds a record no write can explain
    int wrongReads = 0;  // must be 0: a read taken as good that is not what the box holds
    double wall = 0;
};

int recordSoak(sim::SimLan& lan, CPServerContext& ctx, const Options& o, unsigned seed, RecordFigures& f) {
    std::mt19937 rng(seed);
    const std::vector<const FieldDef*> fields = writableFields();
    auto stored = [&](int box) { return lan.withBox(box, [](sim::SimBox& b) { return b.storedRecord(); }); };
    std::vector<BoxHistory> history;
    std::vector<ServerEntry> entries;
    for (int i = 0; i < RecordBoxes; ++i) {
        history.emplace_back(stored(i));
        entries.push_back(CPServerContext::entryFor(boxMac(i)));
    }
    const std::vector<sim::BoxSpec> specs = [&] {
        std::vector<sim::BoxSpec> s;
        for (int i = 0; i < RecordBoxes; ++i)
            s.push_back(lan.withBox(i, [](sim::SimBox& b) { return b.spec(); }));
        return s;
    }();

    // After a read the tools took as good: it must be what the box holds, and
    // the box must hold what the writes so far explain.
    auto afterRead = [&](int box, const ConfigFrame& frame) {
        const ConfigRecord now = stored(box);
        const auto rec = recordOf(frame);
        if (!std::equal(rec.begin(), rec.end(), now.begin()))
            ++f.wrongReads;
        if (!history[std::size_t(box)].check(now))
            ++f.differing;
    };
    auto read = [&](int box, ConfigFrame& frame) {
        switch (readConsistentRecord(ctx, entries[std::size_t(box)], frame)) {
        case ConsistentRead::Ok:
            ++f.readsOk;
            afterRead(box, frame);
            return true;
        case ConsistentRead::NoAnswer:
            ++f.readsFailed;
            return false;
        case ConsistentRead::Inconsistent:
            ++f.readsInconsistent;
            return false;
        }
        return false;
    };

    const auto start = Clock::now();
    for (int cycle = 0; cycle < o.cycles; ++cycle) {
        ++f.cycles;
        const int box = std::uniform_int_distribution<int>(0, RecordBoxes - 1)(rng);
        ServerEntry& entry = entries[std::size_t(box)];
        ConfigFrame frame{};
        if (!read(box, frame))
            continue;

        // Some fields changed as vnkctl set changes them; the checksum is the write's.
        std::vector<std::string> assignments;
        const int count = std::uniform_int_distribution<int>(1, 4)(rng);
        for (int k = 0; k < count; ++k) {
            const FieldDef& field = *fields[std::uniform_int_distribution<std::size_t>(0, fields.size() - 1)(rng)];
            assignments.push_back(std::string(field.name) + "=" + randomValue(field, rng));
        }
        const AssignmentResult r = applyAssignments(recordOf(frame), assignments);
        if (!r.ok()) {
            std::fprintf(stderr, "vnksoak: a generated change was refused: %s\n", r.errors.front().c_str());
            return 1;
        }
        const bool ok = ctx.XWritePServerEEProm(entry, frame) == 1;

        // What the box keeps of that record: it holds on to its own hardware bytes.
        ConfigRecord sent{};
        const auto rec = recordOf(frame);
        std::copy(rec.begin(), rec.end(), sent.begin());
        const sim::BoxSpec& spec = specs[std::size_t(box)];
        std::memcpy(sent.data() + record::EthernetAddress, spec.mac.data(), 6);
        sent[record::PortConfig] = spec.record[record::PortConfig];
        sent[record::Capabilities] = spec.record[record::Capabilities];
        setRecordChecksum(sent);
        if (ok) {
            ++f.writesConfirmed;
            history[std::size_t(box)].confirmed(sent);
        } else {
            ++f.writesFailed;
            history[std::size_t(box)].unconfirmed(sent);
            if (stored(box) == sent)
                ++f.failedWritesTaken;
        }
        ConfigFrame back{};
        read(box, back);
    }
    f.wall = seconds(Clock::now() - start);
    for (int i = 0; i < RecordBoxes; ++i)
        if (!history[std::size_t(i)].check(stored(i)))
            ++f.differing;
    return 0;
}

void printRecords(const char* transport, const RecordFigures& f) {
    std::printf("record soak over %s: %d cycles in %.1f s (%.1f ms a cycle)\n", transport, f.cycles, f.wall,
                f.cycles ? f.wall * 1000 / f.cycles : 0.0);
    std::printf("  reads taken as good        %6d\n", f.readsOk);
    std::printf("  reads failed               %6d  (%d unanswered, %d answered but never consistent)\n",
                f.readsFailed + f.readsInconsistent, f.readsFailed, f.readsInconsistent);
    std::printf("  writes confirmed           %6d\n", f.writesConfirmed);
    std::printf("  writes failed              %6d  (%d of them reached the box all the same)\n", f.writesFailed,
                f.failedWritesTaken);
    std::printf("  records differing          %6d  (must be 0)\n", f.differing);
    std::printf("  wrong reads taken as good  %6d  (must be 0)\n", f.wrongReads);
}

// ---------------------------------------------------------------- firmware soak

struct FirmwareFigures {
    int transfers = 0;
    int succeeded = 0;
    int wrongSuccesses = 0;  // must be 0: reported done, but the box does not hold the file's image
    // Reported done, the box holding every block and waiting for the end reply,
    // which was lost on its way: the transfer sends it once and nothing answers
    // it, so no tool can tell (the box then gives up and keeps no firmware).
    int endReplyLost = 0;
    int wrongImages = 0;     // must be 0: the box completed a transfer with other bytes than the file's
    int repeatMismatches = 0; // must be 0: a block asked for again came with other bytes
    int notFound = 0;        // the search before the transfer was not answered
    std::map<std::string, int> failures; // by why the transfer ended
    int blocksRequested = 0, repeatsAsked = 0, retriesAsked = 0;
    double wall = 0;
};

// The blocks a box takes from the file: 1-448 of image 0, with the box's
// address in block 448.
std::vector<Byte> expectedImage(const std::vector<Byte>& file, const MacAddress& mac) {
    std::vector<Byte> image(file.begin(), file.begin() + firmware::FullImageBlocks * firmware::BlockSize);
    insertEthernetAddress(std::span<Byte, firmware::BlockSize>(
                              image.data() + (firmware::AddressBlock - 1) * firmware::BlockSize, firmware::BlockSize),
                          mac);
    return image;
}

// Waits until the box neither runs a transfer nor restarts (a box whose
// transfer failed gives up after its retries).
void waitForQuietBox(sim::SimLan& lan) {
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < until) {
        const bool busy = lan.withBox(FirmwareBox, [](sim::SimBox& b) {
            return b.transferActive() || b.restarting(sim::Clock::now());
        });
        if (!busy)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int firmwareSoak(sim::SimLan& lan, CPServerContext& ctx, const Options& o, const std::string& dir, unsigned seed,
                 FirmwareFigures& f) {
    const MacAddress mac = boxMac(FirmwareBox);
    const auto start = Clock::now();
    for (int t = 0; t < o.transfers; ++t) {
        ++f.transfers;
        // Every transfer its own file and its own order of blocks.
        const std::vector<Byte> file = sim::makeFirmwareImage("15", 0x01FF, Byte(seed + unsigned(t)));
        const std::string path = dir + "/soak.bin";
        if (!sim::writeFile(path, file)) {
            std::fprintf(stderr, "vnksoak: cannot write %s\n", path.c_str());
            return 1;
        }
        const std::vector<Byte> expected = expectedImage(file, mac);
        waitForQuietBox(lan);
        // The box's counters run over all transfers: this one's are the difference.
        const sim::FirmwareStats before = lan.withBox(FirmwareBox, [&](sim::SimBox& b) {
            b.firmwarePlan().seed = seed * 1000 + unsigned(t);
            return b.firmwareStats();
        });

        // The entry as a tool holds it after finding the box.
        ServerEntry entry = CPServerContext::entryFor(mac);
        Byte reply[DiscoveryReplySize + 8]{};
        bool found = false;
        for (int i = 0; i < 10 && !found; ++i)
            found = ctx.XSearchPS(entry, reply) == 1;
        if (!found) {
            ++f.notFound;
            continue;
        }
        std::memcpy(entry.identity.data(), reply + ctx.searchReplyIdentity(), IdentitySize);

        UpgradeResult r;
        const bool ok = XUpgradeFlashRAM(ctx, entry, path, mac, 0, {}, &r) == 1;
        waitForQuietBox(lan);
        lan.withBox(FirmwareBox, [&](sim::SimBox& b) {
            const sim::FirmwareStats& s = b.firmwareStats();
            const bool completed = s.transfersCompleted > before.transfersCompleted;
            const std::vector<Byte>& got = b.firmwareReceiver().image();
            const bool sameImage = got == expected;
            const bool waitedForEnd = !s.order.empty() && s.order.back() == firmware::EndMarker;
            if (ok && !completed && sameImage && waitedForEnd)
                ++f.endReplyLost;
            else if (ok && !(completed && sameImage && b.firmwarePresent()))
                ++f.wrongSuccesses;
            if (completed && !sameImage)
                ++f.wrongImages;
            f.repeatMismatches += s.repeatMismatches - before.repeatMismatches;
            f.blocksRequested += s.requestsSent - before.requestsSent;
            f.repeatsAsked += s.repeatsChecked - before.repeatsChecked;
            f.retriesAsked += s.retriesSent - before.retriesSent;
            return 0;
        });
        if (ok)
            ++f.succeeded;
        else
            ++f.failures[upgradeEndText(r.end)];
    }
    f.wall = seconds(Clock::now() - start);
    return 0;
}

void printFirmware(const char* transport, const FirmwareFigures& f) {
    std::printf("firmware soak over %s: %d transfers of 448 blocks in %.1f s (%.1f s a transfer)\n", transport,
                f.transfers, f.wall, f.transfers ? f.wall / f.transfers : 0.0);
    std::printf("  box asked for %d blocks (%d of them again, though it had them), and %d times again for one "
                "that did not come\n",
                f.blocksRequested, f.repeatsAsked, f.retriesAsked);
    std::printf("  succeeded                  %6d\n", f.succeeded);
    std::printf("  failed                     %6d\n", f.transfers - f.succeeded);
    if (f.notFound)
        std::printf("    %-52s %4d\n", "the box did not answer a search before", f.notFound);
    for (const auto& [why, n] : f.failures)
        std::printf("    %-52s %4d\n", why.c_str(), n);
    std::printf("  reported done, end reply lost %3d  (the box had every block and asked for the end)\n",
                f.endReplyLost);
    std::printf("  wrong successes            %6d  (must be 0)\n", f.wrongSuccesses);
    std::printf("  images not the file's      %6d  (must be 0)\n", f.wrongImages);
    std::printf("  repeated blocks differing  %6d  (must be 0)\n", f.repeatMismatches);
}

bool parseChance(const char* text, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(v >= 0 && v <= 1))
        return false;
    out = v;
    return true;
}

bool parseCount(const char* text, long lo, long hi, long& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

int usage(int rc) {
    std::fprintf(rc ? stderr : stdout,
                 "Usage: vnksoak [--cycles N] [--transfers N] [--seed N] [--drop P] [--duplicate P] [--garble P]\n"
                 "               [--reorder-ms N] [--firmware-repeat P] [--only records|firmware]\n"
                 "Writes and reads records (1000 cycles by default) and transfers firmware (20 transfers)\n"
                 "over UDP and over IPX to simulated boxes on loopback whose replies are lost (0.2), sent\n"
                 "twice (0.1), garbled (0.05) and up to 10 ms late at random. Prints what failed and what\n"
                 "went wrong; exits 1 when a count marked 'must be 0' is not.\n");
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    o.faults.drop = 0.20;
    o.faults.duplicate = 0.10;
    o.faults.garble = 0.05;
    o.faults.reorderMs = 10;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h")
            return usage(0);
        if (i + 1 >= argc)
            return usage(2);
        const char* v = argv[++i];
        long n = 0;
        bool good = true;
        if (a == "--cycles" && (good = parseCount(v, 0, 10'000'000, n)))
            o.cycles = int(n);
        else if (a == "--transfers" && (good = parseCount(v, 0, 100'000, n)))
            o.transfers = int(n);
        else if (a == "--seed" && (good = parseCount(v, 0, 1'000'000'000, n)))
            o.seed = unsigned(n);
        else if (a == "--reorder-ms" && (good = parseCount(v, 0, 100, n)))
            o.faults.reorderMs = int(n);
        else if (a == "--drop")
            good = parseChance(v, o.faults.drop);
        else if (a == "--duplicate")
            good = parseChance(v, o.faults.duplicate);
        else if (a == "--garble")
            good = parseChance(v, o.faults.garble);
        else if (a == "--firmware-repeat")
            good = parseChance(v, o.firmwareRepeat);
        else if (a == "--only" && (std::string(v) == "records" || std::string(v) == "firmware"))
            only = v;
        else
            return usage(2);
        if (!good) {
            std::fprintf(stderr, "vnksoak: bad value for %s: %s\n", a.c_str(), v);
            return 2;
        }
    }

    char pattern[] = "/tmp/vnksoak.XXXXXX";
    const char* dir = ::mkdtemp(pattern);
    if (!dir) {
        std::perror("vnksoak: mkdtemp");
        return 1;
    }
    sim::LanOptions lanOptions;
    lanOptions.ipxPort = 0;
    lanOptions.seed = o.seed;
    // Requests are lost and taken twice as often on their way to the boxes. They
    // are not garbled: a firmware block carries no check of its own, so a box
    // would store a damaged block that no tool can notice (on a real segment the
    // datagram's checksum drops it, which is a loss).
    lanOptions.requestFaults.drop = o.faults.drop;
    lanOptions.requestFaults.duplicate = o.faults.duplicate;
    sim::SimLan lan(lanOptions);
    for (int i = 0; i < RecordBoxes; ++i)
        lan.addBox(soakBox(i, o));
    lan.addBox(firmwareBox(o));
    std::string error;
    if (!lan.start(&error)) {
        std::fprintf(stderr, "vnksoak: %s\n", error.c_str());
        return 1;
    }
    const platform::Timing timing = soakTiming();
    printTiming(timing, o);
    CountingReporter reporter;
    std::vector<Transport> all = transports(lan, timing, reporter);

    int rc = 0;
    bool bad = false;
    unsigned round = 0;
    if (only != "firmware")
        for (Transport& t : all) {
            RecordFigures f;
            rc = recordSoak(lan, *t.ctx, o, o.seed * 7919 + ++round, f);
            printRecords(t.name, f);
            std::fflush(stdout);
            bad = bad || f.differing || f.wrongReads;
            if (rc)
                break;
        }
    if (rc == 0 && only != "records")
        for (Transport& t : all) {
            FirmwareFigures f;
            rc = firmwareSoak(lan, *t.ctx, o, dir, o.seed * 7919 + ++round, f);
            printFirmware(t.name, f);
            std::fflush(stdout);
            bad = bad || f.wrongSuccesses || f.wrongImages || f.repeatMismatches;
            if (rc)
                break;
        }
    if (reporter.count)
        std::printf("socket failures reported: %d\n", reporter.count);
    lan.stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    if (rc)
        return rc;
    return bad ? 1 : 0;
}
