// The rules of the NetWare pages of the IPX utility, free of Qt: what the
// NetWare settings page, the NetWare information page and the remote printer
// page read from the configuration record, the status record and the name
// lists of the bindery scan, which of their controls can be used, and what a
// Write stores into the record.
//
// Texts of the box (names) are bytes here, as the record holds them; the pages
// decode them for display. Names are limited to what their record fields hold
// with a terminator: file server, NDS tree and NetWare print server 47 bytes
// (also the longest name a NetWare bindery object can have), context 15 bytes.
// Longer input is refused with the framework's "too many characters" message
// and the focus on the field, not cut: a cut name would silently name another
// server. A text the record already holds is stored back as it is, whatever its
// length, so that a field the page keeps disabled never blocks a Write.
#pragma once

#include "protocol/pserver_context.h"
#include "protocol/records.h"
#include "protocol/status_record.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vnk::rules {

using protocol::Byte;
using protocol::RecordSize;

inline constexpr std::size_t MaxNetwareNameLength = 47; // file server, tree, print server
inline constexpr std::size_t MaxContextLength = 15;
inline constexpr int MinPolling = 2;
inline constexpr int MaxPolling = 99;
inline constexpr int MinPrinterNumber = 0;
inline constexpr int MaxPrinterNumber = 255;
inline constexpr std::size_t InformationQueueLines = 5;
inline constexpr std::size_t PrinterNumberBoxes = 5; // LPT1, LPT2, LPT3, COM1, COM2

bool netwareOff(std::span<const Byte, RecordSize> rec);
bool remotePrinterMode(std::span<const Byte, RecordSize> rec);
bool remotePrinterSupported(std::span<const Byte, RecordSize> rec);
bool ndsSupported(std::span<const Byte, RecordSize> rec);

// --- NetWare settings page ---

enum class NetwareMode { Bindery, Nds };

// NDS when the record names no file server but an NDS tree, else Bindery (a
// record naming both prints through the file server).
NetwareMode netwareMode(std::span<const Byte, RecordSize> rec);

// The entries of a name box: the record's name first when it has one, then
// each name of the list that differs from it, in list order.
std::vector<std::string> nameChoices(const std::string& recordName, const std::vector<std::string>& names);
// The same for the tree box: the record's tree name as shown, then the list's
// tree names with their "_" padding cut, each one that differs from it.
std::vector<std::string> treeChoices(std::span<const Byte, RecordSize> rec,
                                     const std::vector<std::string>& trees);

// What the settings page shows on activation.
struct NetwareSettingsValues {
    std::string alias; // record offset 16
    NetwareMode mode = NetwareMode::Bindery;
    std::string fileServer; // record offset 76
    std::string tree;       // record offset 124, padding cut
    std::string context;    // record offset 172
    bool remotePrinter = false;
    int polling = 0; // record byte 75, as it is
};
NetwareSettingsValues netwareSettingsValues(std::span<const Byte, RecordSize> rec);

// Which controls of the settings page can be used. With NetWare switched off
// nothing can. The NDS controls stay disabled on a box without NDS, whatever
// the mode and the remote printer box say; the remote printer box only on a
// box that offers remote printer mode. A ticked remote printer box takes the
// mode buttons, the names and the polling interval away; otherwise the mode
// gives either the file server box or the tree box and the context field.
struct NetwareSettingsControls {
    bool name = false;
    bool binderyButton = false;
    bool ndsButton = false;
    bool ndsLabels = false; // "Tree Name", "Context Name"
    bool fileServer = false;
    bool tree = false;
    bool context = false;
    bool remotePrinter = false;
    bool polling = false;
};
NetwareSettingsControls netwareSettingsControls(std::span<const Byte, RecordSize> rec, NetwareMode mode,
                                                bool remotePrinterTicked);

// The fields a check of a Write can stop at.
enum class NetwareField { Alias, FileServer, Tree, Context, Polling, PrintServer, PrinterNumber };
struct NetwareFailure {
    NetwareField field;
    int index = 0; // PrinterNumber: which box (0 = LPT1 ... 4 = COM2)
    // TooLong: the most bytes the field takes. OutOfRange: the range.
    enum Kind { TooLong, OutOfRange } kind = TooLong;
    int limit = 0;
    int low = 0;
    int high = 0;
};

// The settings page's Write: checks the values (the first failure is
// returned, nothing stored), then stores them: the alias name (a changed one
// also becomes the entry's print server name), the file server name (Bindery)
// or an empty one (NDS), the tree name padded with "_", the context, the
// remote printer switch and the polling interval.
struct NetwareSettingsWrite {
    std::optional<NetwareFailure> failure;
    bool nameChanged = false; // the caller updates the server list and says the name changed
};
NetwareSettingsWrite storeNetwareSettings(std::span<Byte, RecordSize> rec, protocol::ServerEntry& entry,
                                          const NetwareSettingsValues& values);

// --- NetWare information page ---

struct NetwareInformation {
    std::string networkAddress; // network number : Ethernet address
    std::string polling;        // "%i Sec"
    std::string printMode;
    std::string fileServer;
    std::string ndsTree;
    std::string loginStatus;
    std::array<std::string, InformationQueueLines> queueLines; // unused lines empty
};
NetwareInformation netwareInformation(std::span<const Byte, RecordSize> rec,
                                      const protocol::StatusBuffer& status);

// --- remote printer page ---

struct RemotePrinterValues {
    std::string printServer;                       // record offset 300
    std::array<int, PrinterNumberBoxes> numbers{}; // COM2 always 0: the record has no byte for it
    bool remotePrinter = false;
};
RemotePrinterValues remotePrinterValues(std::span<const Byte, RecordSize> rec);

// With NetWare switched off nothing can be used. Otherwise the check box can;
// ticked, the server box and the number boxes of the ports the box has.
struct RemotePrinterControls {
    bool checkBox = false;
    bool printServer = false;
    std::array<bool, PrinterNumberBoxes> numbers{};
};
RemotePrinterControls remotePrinterControls(std::span<const Byte, RecordSize> rec, bool remotePrinterTicked);

// The remote printer page's Write: checks (every number 0-255, the print server
// name's length), then stores the print server name, the numbers of LPT1-LPT3
// and COM1 and the remote printer switch. COM2's number is not stored.
std::optional<NetwareFailure> storeRemotePrinter(std::span<Byte, RecordSize> rec,
                                                 const RemotePrinterValues& values);

} // namespace vnk::rules
