// The rules of the mail printing page, free of Qt so that the page and vnkctl
// share them: the per-port slots, the polling list, the mail server address, the
// port switch and the Write checks with their messages, and what Write stores.
#pragma once

#include "sheet/rules/ip_rules.h"
#include "protocol/records.h"

#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vnk::rules {

using protocol::Byte;
using protocol::RecordSize;

inline constexpr int MailPortSlots = 3;         // LPT1-LPT3
inline constexpr std::size_t MailTextWidth = 8; // account and password
inline constexpr int PollingListSize = 129;     // "1", "1", "2" ... "127", ""

// Turns a host name into its first IPv4 address, or nothing. The page passes
// resolveHostIPv4; tests pass their own so that nothing leaves the machine.
using HostResolver = std::function<std::optional<Address>(const std::string& name)>;

// The first IPv4 address getaddrinfo gives for the name, or nothing.
std::optional<Address> resolveHostIPv4(const std::string& name);

// A mail server text as the page reads it: an empty text is 0.0.0.0 (no mail
// server); a dotted IPv4 address is taken as it is; anything else is resolved
// as a host name. Nothing when the name does not resolve.
std::optional<Address> mailServerAddress(std::string_view text, const HostResolver& resolve);

// "'%s' do NOT support Mail Printing !!!" when capability bit 4 is clear.
std::optional<std::string> mailRefusal(std::span<const Byte, RecordSize> rec, const std::string& serverName);

// "Invalid LPT%d Mail Server !!\n" and the confirm-password message, port 1-3.
std::string invalidMailServerMessage(int port);
std::string confirmPasswordMessage(int port);

// The polling list: "1", "1", "2", ... "127" and an empty entry; the index of
// the selected entry is the polling time in minutes, index 0 counting as 1.
std::vector<std::string> pollingListEntries();
// The entry a stored polling time selects: the time itself up to 128, none (-1)
// above.
int pollingSelectionOf(Byte stored);

// One parallel port's values as the page holds them.
struct MailSlot {
    std::string server;
    std::string password;
    std::string confirmPassword;
    std::string account;
    bool printHeader = false;
    bool replyConfirmation = false; // always clear, never stored
    bool printAll = false;          // shown and written back as read
};

struct MailPageState {
    std::array<MailSlot, MailPortSlots> portSlots{};
    int portCount = 0;         // the box's parallel ports, 0-3; only their port slots are used
    int current = 0;           // the slot the controls show (0 = LPT1)
    int pollingSelection = -1; // index into the polling list, -1 for none
};

// Activation (when not refused): slots of ports 1..n from their blocks (server
// "%i.%i.%i.%i", account and password as text of at most 8 characters, confirm
// = password, "Print Mail Header" = flag bit p-1, "Print All Mails" = bit p+3),
// the polling selection from byte 405, port 1 current. A refused page shows a
// default MailPageState: empty texts, no flags, no polling selection.
MailPageState mailPageState(std::span<const Byte, RecordSize> rec, int parallelPortCount);

// "Print Port" entries ("1" ... n) and the group box title of a slot ("LPT1"...).
std::vector<std::string> printPortEntries(int portCount);
std::string portGroupTitle(int index);

enum class MailControl { MailServer, ConfirmPassword };

// A failed check, with its message in English; pages that show other texts pick
// them by check and port.
enum class MailCheck { InvalidServer, PasswordMismatch };
struct MailFailure {
    std::string message;
    MailControl focus;
    MailCheck check = MailCheck::InvalidServer;
    int port = 0; // 1-3
};

// The port switch to slot newIndex, with controls the values the controls show
// for the current slot. The current port's server must be a dotted address or a
// resolvable name, then its password and confirmation must match; on a failure
// nothing changes and the caller puts the "Print Port" selection back on the
// current port. Otherwise the controls are saved into the current slot, the new
// slot's confirmation is set to its password and it becomes current: the caller
// shows state.portSlots[state.current]. A newIndex outside the box's ports changes
// nothing.
std::optional<MailFailure> switchMailPort(MailPageState& state, const MailSlot& controls, int newIndex,
                                          const HostResolver& resolve);

// Write. The controls are saved into the current slot; then only the current
// port's password and confirmation are compared (one failure, nothing stored).
// Every port's server is resolved and stored in its block, one failure per bad
// port; when there is any, the addresses found stay stored and nothing else is.
// Otherwise the polling time is stored (the first "1" as 1; the empty entry or
// no selection keeps the stored time), and for ports 1..n the account and the
// password (characters and a NUL when shorter than 8) and flag bits p-1 and p+3.
// Blocks and flag bits of ports the box does not have are never touched. The
// caller writes the record only when the result holds no failure.
std::vector<MailFailure> storeMailPage(MailPageState& state, const MailSlot& controls,
                                       std::span<Byte, RecordSize> rec, const HostResolver& resolve);

// --- vnkctl set ---

// What the mail printing page would refuse of a change from before to after:
// nothing when no mail field changed (print flag bits 0-2 and 4-6, the polling
// time, the three blocks). Otherwise the page's refusal when the box lacks mail
// printing, and one message per port the box does not have whose block or flag
// bits changed (the page never shows those).
std::vector<std::string> checkMailChange(std::span<const Byte, RecordSize> before,
                                         std::span<const Byte, RecordSize> after,
                                         const std::string& serverName);

} // namespace vnk::rules
