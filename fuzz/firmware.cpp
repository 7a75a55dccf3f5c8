// Firmware files and the box's block requests: the Upgrade page's checks of a
// file (protocol mask, Browse, the vendor and model check before a transfer)
// and the transfer's request loop, driven by a channel whose datagrams and
// outcomes come from the input, with no socket and no wait.
//
// Input: byte 0 picks the file (the input itself, a missing file, or one of
// the images made once per run) and whether checks are enabled; byte 1 the
// type index, the framing (UDP or IPX), the box's firmware-present flag and
// whether the channel opens; two model code characters; the record's Ethernet
// address; then the script the box follows: one byte per handshake and search,
// and for each block request a byte that shapes it (dropped, failed, a wait
// that times out or fails, a send that fails) and its block number.
#include "fuzz/fuzz_support.h"
#include "protocol/firmware.h"
#include "sim/sim_firmware.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using vnk::fuzz::check;
using vnk::fuzz::QuietReporter;

using namespace vnk;
using namespace vnk::protocol;
using platform::SizedReceive;
using platform::WaitResult;



platform::Endpoint loopback() {
    platform::Endpoint e;
    e.broadcast = "127.255.255.255";
    return e;
}

// A firmware file on disk and its bytes, to compare every block sent with.
struct FirmwareFile {
    std::string path;
    std::vector<Byte> bytes;
};

// Files made once per run: the images a box accepts, as the simulated LAN
// writes them, at the sizes the checks tell apart.
const std::vector<FirmwareFile>& madeFiles() {
    static const std::vector<FirmwareFile> files = [] {
        std::vector<FirmwareFile> f;
        auto add = [&](std::vector<Byte> bytes, const char* suffix) {
            const std::string path = fuzz::inputFile(bytes.data(), bytes.size(), suffix);
            f.push_back({path, std::move(bytes)});
        };
        const auto one = sim::makeFirmwareImage("15", 0x01FF);
        add(one, ".one");
        std::vector<Byte> three = sim::makeFirmwareImage("15", 0x0011, 1);
        for (const auto& [digits, mask, seed] : {std::tuple{"1A", 0x1000, 2}, std::tuple{"31", 0x0000, 3}}) {
            const auto image = sim::makeFirmwareImage(digits, std::uint16_t(mask), Byte(seed));
            three.insert(three.end(), image.begin(), image.end());
        }
        add(three, ".three");
        // Exactly the 448 blocks a box asks for, and one byte less.
        const std::size_t blocks = std::size_t(firmware::FullImageBlocks) * firmware::BlockSize;
        add(std::vector<Byte>(one.begin(), one.begin() + long(blocks)), ".blocks");
        add(std::vector<Byte>(one.begin(), one.begin() + long(blocks) - 1), ".short");
        return f;
    }();
    return files;
}

// Answers the searches around the handshakes from the script.
class ScriptedContext final : public CPServerContext {
public:
    ScriptedContext(fuzz::Cursor& script, platform::ErrorReporter& reporter)
        : CPServerContext(loopback(), platform::Timing::fast(), reporter), m_script(script) {}

    int XSearchPS(ServerEntry&, Byte* reply) override {
        const Byte b = m_script.byte();
        if (!(b & 1))
            return 0;
        std::memset(reply, 0, DiscoveryReplySize);
        reply[HdrDirection] = 1;
        reply[HdrCommand] = CmdSearch;
        reply[HeaderSize + identity::UpgradeState] = Byte((b >> 1) & 1);
        reply[HeaderSize + identity::FirmwarePresent] = Byte((b >> 2) & 1);
        ++searches;
        return 1;
    }
    std::size_t searchReplyIdentity() const override { return HeaderSize; }
    int XGetPort() override { return 0; }
    int XReadPServerEEProm(ServerEntry&, ConfigFrame&) override { return 0; }
    int XWritePServerEEProm(ServerEntry&, ConfigFrame&) override { return 0; }
    int XResetPServerEEProm(ServerEntry&) override { return 0; }
    int XGetPServerStatus(ServerEntry&, StatusBuffer&) override { return 0; }
    int XGetPrinterStatus(ServerEntry&, PrinterStatusBuffer&, std::int32_t) override { return 0; }
    int XTestPrint(ServerEntry&, int) override { return 0; }
    int XUpgradeFlashRAM(ServerEntry&, const std::string&, const MacAddress&, int, const UpgradeProgress&,
                         UpgradeResult*) override {
        return 0;
    }

    int searches = 0;

private:
    fuzz::Cursor& m_script;
};

// The box's side of the block exchange, from the script. It stops asking after
// MaxRequests waits, so that no input keeps the transfer going for ever.
class ScriptedChannel final : public UpgradeChannel {
public:
    static constexpr int MaxRequests = 1500;

    ScriptedChannel(fuzz::Cursor& script, std::size_t header, bool opens, const std::vector<Byte>* file,
                    int typeIndex, const MacAddress& recordEthernet)
        : m_script(script), m_header(header), m_opens(opens), m_file(file), m_type(typeIndex),
          m_recordEthernet(recordEthernet) {}

    std::size_t headerSize() const override { return m_header; }
    bool open(UpgradeEnd& why) override {
        check(!m_opened);
        m_opened = true;
        if (!m_opens)
            why = UpgradeEnd::SocketFailed;
        m_open = m_opens;
        return m_opens;
    }
    int handshake() override {
        check(m_open);
        const Byte b = m_script.byte();
        return b % 8 == 0 ? 0 : b % 8 == 1 ? -1 : 1;
    }
    WaitResult waitRequest() override {
        check(m_open);
        if (m_script.empty() || ++m_waits > MaxRequests)
            return WaitResult::TimedOut;
        m_shape = m_script.byte();
        if (m_shape == 0xFF)
            return WaitResult::Failed;
        if (m_shape == 0xFE)
            return WaitResult::TimedOut;
        return WaitResult::Ready;
    }
    SizedReceive receiveRequest(Byte* buffer, std::size_t size) override {
        check(m_open && size == m_header + 2);
        if (m_shape % 16 == 0)
            return SizedReceive::Dropped; // another length
        if (m_shape % 16 == 1)
            return SizedReceive::Failed;
        // The header is not examined; it holds whatever the script gives.
        std::memset(buffer, m_shape, m_header);
        putLE16(std::span<Byte>(buffer, size), m_header, m_script.word());
        m_asked = getLE16(std::span<const Byte>(buffer, size), m_header);
        return SizedReceive::Taken;
    }
    void buildHeader(Byte* datagram) override { std::memset(datagram, 0xA5, m_header); }
    int send(const Byte* data, std::size_t length) override {
        check(m_open);
        const std::span<const Byte> d(data, length);
        check(getLE16(d, 0) == 0xA5A5);
        const std::uint16_t number = getLE16(d, m_header);
        if (number == firmware::EndReplyNumber) {
            check(length == m_header + 2 && m_asked == firmware::EndMarker);
        } else {
            // Exactly the block asked for, from the chosen image of the file,
            // with the address in block 448 when it belongs there.
            check(length == m_header + 2 + firmware::BlockSize && number == m_asked);
            check(number >= 1 && number <= firmware::BlocksPerImage && m_file);
            const std::size_t at = firmware::ImageSize * std::size_t(m_type) + (number - 1u) * firmware::BlockSize;
            check(at + firmware::BlockSize <= m_file->size());
            std::array<Byte, firmware::BlockSize> expected{};
            std::copy_n(m_file->begin() + long(at), firmware::BlockSize, expected.begin());
            if (number == firmware::AddressBlock)
                insertEthernetAddress(expected, m_recordEthernet);
            check(std::equal(expected.begin(), expected.end(), d.begin() + long(m_header) + 2));
            ++sent;
        }
        if (m_shape >= 0xF8 && m_shape < 0xFE)
            return (m_shape & 1) ? 0 : -1;
        return 1;
    }
    void close() override { m_open = false; }
    bool searchAfterAnyEnd() const override { return m_header != HeaderSize; }

    bool opened() const { return m_opened; }
    bool isOpen() const { return m_open; }
    int sent = 0;

private:
    fuzz::Cursor& m_script;
    std::size_t m_header;
    bool m_opens;
    const std::vector<Byte>* m_file;
    int m_type;
    MacAddress m_recordEthernet;
    bool m_opened = false;
    bool m_open = false;
    int m_waits = 0;
    Byte m_shape = 0;
    std::uint16_t m_asked = 0;
};

void checkFile(const std::string& path, std::size_t size, bool checksOn, int typeIndex, const std::string& digits,
               bool exists) {
    for (int k = -1; k <= firmware::MaxImages; ++k) {
        FileCheck error = FileCheck::Accepted;
        const auto mask = readProtocolMask(path, k, &error);
        check(!mask || (exists && k >= 0 && k < firmware::MaxImages &&
                        firmware::ImageSize * std::size_t(k) + firmware::MaskOffset + 2 <= size));
        if (mask)
            (void)protocolMaskText(*mask, k == 1 ? ChineseProtocolTexts : EnglishProtocolTexts);
        check(exists || error == FileCheck::FileNotFound || k < 0 || k >= firmware::MaxImages);
    }

    bool checks = checksOn;
    const BrowseResult b = browseFirmwareFile(path, checks);
    check(b.analysed == (exists && checksOn));
    if (b.analysed) {
        check(checks == (size % firmware::ImageSize == 0));
        check(b.imageCount == imageCount(size));
        check(b.buttons == visibleTypeButtons(b.imageCount));
    } else {
        check(checks == checksOn);
    }
    (void)fileCheckText(b.file);

    const FileCheck c = checkFirmwareFile(path, typeIndex, digits, checksOn);
    if (c == FileCheck::Accepted)
        check(exists && typeIndex >= 0 && typeIndex < firmware::MaxImages &&
              size >= firmware::ImageSize * std::size_t(typeIndex) +
                          std::size_t(firmware::FullImageBlocks) * firmware::BlockSize);
    check(exists || c == FileCheck::FileNotFound);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto& made = madeFiles();
    fuzz::Cursor in(data, size);
    const Byte which = in.byte();
    const Byte setup = in.byte();
    std::string digits;
    for (Byte c : in.take(2))
        digits.push_back(char(c));
    MacAddress recordEthernet{};
    const auto mac = in.take(6);
    std::copy(mac.begin(), mac.end(), recordEthernet.begin());

    // The file: the input itself, a missing one, or one of the images.
    const std::vector<Byte> input(data, data + size);
    const std::vector<Byte>* bytes = &input;
    std::string path;
    bool exists = true;
    switch (which % 8) {
    case 0:
    case 1:
        path = fuzz::inputFile(data, size);
        break;
    case 2:
        path = fuzz::inputFile(data, size) + ".missing";
        bytes = nullptr;
        exists = false;
        break;
    default: {
        const FirmwareFile& f = made[std::size_t(which % 8 - 3) % made.size()];
        path = f.path;
        bytes = &f.bytes;
        break;
    }
    }
    const bool checksOn = which & 0x80;
    const int typeIndex = int(setup & 3); // 3 is no image
    checkFile(path, bytes ? bytes->size() : 0, checksOn, typeIndex, digits, exists);

    // The transfer.
    QuietReporter reporter;
    ScriptedContext ctx(in, reporter);
    ServerEntry entry = CPServerContext::entryFor({0x00, 0x00, 0xB4, 0x12, 0x34, 0x56});
    entry.identity[identity::FirmwarePresent] = Byte((setup >> 2) & 1);
    const std::size_t header = (setup & 0x08) ? 4 : HeaderSize;
    ScriptedChannel channel(in, header, !(setup & 0x10) || !(setup & 0x20), bytes, typeIndex, recordEthernet);
    int lastProgress = 0;
    const UpgradeProgress progress = [&](int blocksSent) {
        check(blocksSent >= lastProgress && blocksSent <= firmware::FullImageBlocks);
        lastProgress = blocksSent;
    };
    UpgradeResult r;
    const int ok = runUpgrade(ctx, channel, entry, path, recordEthernet, typeIndex, progress, &r);
    check(ok == (r.end == UpgradeEnd::Completed ? 1 : 0));
    check(!channel.isOpen());
    check(r.blocksSent <= r.datagramsSent && r.blocksSent <= firmware::FullImageBlocks);
    check(r.datagramsSent == channel.sent || r.datagramsSent + 1 == channel.sent);
    if (typeIndex >= firmware::MaxImages)
        check(r.end == UpgradeEnd::BadArgument && !channel.opened());
    if (ok)
        check(r.lastBlock == firmware::EndMarker && exists);
    if (r.end == UpgradeEnd::FileError)
        check(isFileError(r.fileError));
    (void)upgradeEndText(r.end);
    return 0;
}
