#include "ipxconfig/rules/netware_rules.h"

#include "protocol/record_fields.h"
#include "sheet/rules/options_rules.h"

#include <algorithm>

namespace vnk::rules {

namespace r = protocol::record;

namespace {

constexpr std::size_t NameWidth = 48;
constexpr std::size_t ContextWidth = 16;
constexpr std::size_t AliasWidth = 16;
constexpr std::size_t SerialQueueBlock = 3; // COM1's block; the parallel ports have 0-2
constexpr std::size_t MaxParallelBlocks = 3;
constexpr std::size_t MaxSerialBlocks = 2;

std::string text(std::span<const Byte, RecordSize> rec, std::size_t offset, std::size_t width) {
    return protocol::fieldText(rec, offset, width);
}

// The text and a terminator when it leaves room for one; the bytes after the
// terminator keep their values. Never more than the field.
void putText(std::span<Byte, RecordSize> rec, std::size_t offset, std::size_t width,
             const std::string& value) {
    const std::size_t n = std::min(value.size(), width);
    std::copy_n(value.begin(), n, rec.begin() + std::ptrdiff_t(offset));
    if (n < width)
        rec[offset + n] = 0;
}

void setBit(std::span<Byte, RecordSize> rec, std::size_t offset, Byte mask, bool on) {
    rec[offset] = on ? Byte(rec[offset] | mask) : Byte(rec[offset] & ~mask);
}

// A name longer than its field is refused unless the record holds it already.
std::optional<NetwareFailure> tooLong(NetwareField field, const std::string& value, const std::string& held,
                                      std::size_t limit) {
    if (value.size() <= limit || value == held)
        return std::nullopt;
    NetwareFailure f{field};
    f.kind = NetwareFailure::TooLong;
    f.limit = int(limit);
    return f;
}

std::optional<NetwareFailure> outOfRange(NetwareField field, int value, int low, int high, int index = 0) {
    if (value >= low && value <= high)
        return std::nullopt;
    NetwareFailure f{field};
    f.index = index;
    f.kind = NetwareFailure::OutOfRange;
    f.low = low;
    f.high = high;
    return f;
}

std::string hex(Byte b) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    return {Digits[b >> 4], Digits[b & 0x0F]};
}

// "LPT1 attaches to QUEUE at SERVER", or the line of a port without a queue.
std::string queueLine(const std::string& port, const std::optional<protocol::QueueBlock>& block,
                      bool serial) {
    // The serial ports' flag is one byte; the second may hold anything.
    // A port is attached to a queue only when the box names the queue: the
    // second serial port's block starts near the end of the status record, so
    // its queue name always lies beyond it and the bytes its flag and server
    // name would take belong to the DHCP server's status.
    const bool attached = block && (serial ? (block->attached & 0xFF) == 1 : block->attached == 1) &&
                          !block->queue.empty();
    if (!attached)
        return port + " does NOT attach to any queue";
    return port + " attaches to " + block->queue + " at " + block->fileServer;
}

} // namespace

bool netwareOff(std::span<const Byte, RecordSize> rec) {
    return rec[r::OptionFlags] & r::OptNetwareOff;
}
bool remotePrinterMode(std::span<const Byte, RecordSize> rec) {
    return rec[r::OptionFlags] & r::OptRemotePrinter;
}
bool remotePrinterSupported(std::span<const Byte, RecordSize> rec) {
    return rec[r::Capabilities] & r::CapRemotePrinter;
}
bool ndsSupported(std::span<const Byte, RecordSize> rec) {
    return !(rec[r::Capabilities] & r::CapIpxWithoutNds);
}

NetwareMode netwareMode(std::span<const Byte, RecordSize> rec) {
    return rec[r::NetwareFileServer] == 0 && rec[r::NdsTree] != 0 ? NetwareMode::Nds : NetwareMode::Bindery;
}

std::vector<std::string> nameChoices(const std::string& recordName, const std::vector<std::string>& names) {
    std::vector<std::string> out;
    if (!recordName.empty())
        out.push_back(recordName);
    for (const std::string& n : names)
        if (n != recordName)
            out.push_back(n);
    return out;
}

std::vector<std::string> treeChoices(std::span<const Byte, RecordSize> rec,
                                     const std::vector<std::string>& trees) {
    std::vector<std::string> trimmed;
    trimmed.reserve(trees.size());
    for (const std::string& t : trees)
        trimmed.push_back(protocol::trimTreePadding(t));
    return nameChoices(protocol::ndsTreeName(rec), trimmed);
}

NetwareSettingsValues netwareSettingsValues(std::span<const Byte, RecordSize> rec) {
    NetwareSettingsValues v;
    v.alias = text(rec, r::AliasName, AliasWidth);
    v.mode = netwareMode(rec);
    v.fileServer = text(rec, r::NetwareFileServer, NameWidth);
    v.tree = protocol::ndsTreeName(rec);
    v.context = text(rec, r::NdsContext, ContextWidth);
    v.remotePrinter = remotePrinterMode(rec);
    v.polling = rec[r::NetwarePolling];
    return v;
}

NetwareSettingsControls netwareSettingsControls(std::span<const Byte, RecordSize> rec, NetwareMode mode,
                                                bool remotePrinterTicked) {
    NetwareSettingsControls c;
    if (netwareOff(rec))
        return c;
    const bool nds = ndsSupported(rec);
    const bool names = !remotePrinterTicked;
    c.name = true;
    c.binderyButton = names;
    c.ndsButton = names && nds;
    c.ndsLabels = nds;
    c.fileServer = names && mode == NetwareMode::Bindery;
    c.tree = names && nds && mode == NetwareMode::Nds;
    c.context = c.tree;
    c.remotePrinter = remotePrinterSupported(rec);
    c.polling = names;
    return c;
}

NetwareSettingsWrite storeNetwareSettings(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry,
                                          const NetwareSettingsValues& v) {
    NetwareSettingsWrite w;
    const NetwareSettingsValues held = netwareSettingsValues(rec);
    for (auto failure : {tooLong(NetwareField::Alias, v.alias, entry.name(), MaxAliasLength),
                         // NDS mode leaves the file server name out.
                         v.mode == NetwareMode::Nds ? std::nullopt
                                                    : tooLong(NetwareField::FileServer, v.fileServer,
                                                              held.fileServer, MaxNetwareNameLength),
                         tooLong(NetwareField::Tree, v.tree, held.tree, MaxNetwareNameLength),
                         tooLong(NetwareField::Context, v.context, held.context, MaxContextLength),
                         outOfRange(NetwareField::Polling, v.polling, MinPolling, MaxPolling)}) {
        if (failure) {
            w.failure = failure;
            return w;
        }
    }
    w.nameChanged = applyAliasName(rec, entry, v.alias);
    if (v.mode == NetwareMode::Bindery)
        putText(rec, r::NetwareFileServer, NameWidth, v.fileServer);
    else
        rec[r::NetwareFileServer] = 0;
    // A tree name the record held whole (48 bytes) ends with its terminator on
    // the context's first byte, which the context then takes back.
    protocol::storeNdsTreeName(rec, std::string_view(v.tree).substr(0, NameWidth));
    putText(rec, r::NdsContext, ContextWidth, v.context);
    setBit(rec, r::OptionFlags, r::OptRemotePrinter, v.remotePrinter);
    rec[r::NetwarePolling] = Byte(v.polling);
    return w;
}

NetwareInformation netwareInformation(std::span<const Byte, RecordSize> rec,
                                      const protocol::StatusBuffer& s) {
    NetwareInformation info;
    const auto network = protocol::ipxNetwork(s);
    info.networkAddress = hex(network[0]) + " " + hex(network[1]) + " " + hex(network[2]) + " " +
                          hex(network[3]) + " : " + protocol::macText(rec.subspan(r::EthernetAddress, 6));
    info.polling = std::to_string(rec[r::NetwarePolling]) + " Sec";

    const std::string notUsed = "Not Used";
    const std::string fileServer = text(rec, r::NetwareFileServer, NameWidth);
    if (remotePrinterMode(rec)) {
        info.printMode = "Remote Printer";
        info.fileServer = info.ndsTree = info.loginStatus = notUsed;
    } else {
        if (!fileServer.empty()) {
            info.printMode = "Bindery Printing";
            info.fileServer = fileServer;
            info.ndsTree = notUsed;
        } else if (rec[r::NdsTree] != 0) {
            info.printMode = "NDS Printing";
            info.fileServer = notUsed;
            info.ndsTree = protocol::ndsTreeName(rec);
        } else {
            info.printMode = "Bindery Printing";
            info.fileServer = info.ndsTree = notUsed;
        }
        if (protocol::fileServerLoggedIn(s))
            info.loginStatus = "Connect to " + protocol::loggedInFileServer(s);
        else if (protocol::primaryLoggedIn(s))
            info.loginStatus = "Connect to " + fileServer;
        else
            info.loginStatus = "Not Connected";
    }

    // LPT1 always has a line; then the other parallel ports and the serial
    // ports the box has. The record's two bits can count three serial ports,
    // but the status record has queue blocks for two.
    const std::size_t parallel =
        std::clamp<std::size_t>(std::size_t(protocol::parallelPorts(rec)), 1, MaxParallelBlocks);
    const std::size_t serial =
        std::min<std::size_t>(std::size_t(protocol::serialPorts(rec)), MaxSerialBlocks);
    std::size_t line = 0;
    for (std::size_t k = 0; k < parallel; ++k)
        info.queueLines[line++] =
            queueLine("LPT" + std::to_string(k + 1), protocol::queueBlock(s, int(k)), false);
    for (std::size_t k = 0; k < serial; ++k)
        info.queueLines[line++] = queueLine("COM" + std::to_string(k + 1),
                                            protocol::queueBlock(s, int(SerialQueueBlock + k)), true);
    return info;
}

RemotePrinterValues remotePrinterValues(std::span<const Byte, RecordSize> rec) {
    RemotePrinterValues v;
    v.printServer = text(rec, r::NetwarePrintServer, NameWidth);
    for (std::size_t i = 0; i < 4; ++i)
        v.numbers[i] = rec[r::RemotePrinters + i];
    v.numbers[4] = 0;
    v.remotePrinter = remotePrinterMode(rec);
    return v;
}

RemotePrinterControls remotePrinterControls(std::span<const Byte, RecordSize> rec, bool remotePrinterTicked) {
    RemotePrinterControls c;
    if (netwareOff(rec))
        return c;
    c.checkBox = true;
    c.printServer = remotePrinterTicked;
    const int parallel = protocol::parallelPorts(rec);
    const int serial = protocol::serialPorts(rec);
    for (int i = 0; i < 3; ++i)
        c.numbers[std::size_t(i)] = remotePrinterTicked && i < parallel;
    for (int i = 0; i < 2; ++i)
        c.numbers[std::size_t(3 + i)] = remotePrinterTicked && i < serial;
    return c;
}

std::optional<NetwareFailure> storeRemotePrinter(std::span<Byte, RecordSize> rec,
                                                 const RemotePrinterValues& v) {
    if (auto f = tooLong(NetwareField::PrintServer, v.printServer,
                         text(rec, r::NetwarePrintServer, NameWidth), MaxNetwareNameLength))
        return f;
    for (std::size_t i = 0; i < PrinterNumberBoxes; ++i)
        if (auto f = outOfRange(NetwareField::PrinterNumber, v.numbers[i], MinPrinterNumber, MaxPrinterNumber,
                                int(i)))
            return f;
    putText(rec, r::NetwarePrintServer, NameWidth, v.printServer);
    for (std::size_t i = 0; i < 4; ++i)
        rec[r::RemotePrinters + i] = Byte(v.numbers[i]);
    setBit(rec, r::OptionFlags, r::OptRemotePrinter, v.remotePrinter);
    return std::nullopt;
}

} // namespace vnk::rules
