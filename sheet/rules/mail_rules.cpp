#include "sheet/rules/mail_rules.h"

#include "protocol/identity.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace vnk::rules {

namespace r = protocol::record;

namespace {

constexpr std::size_t ServerAt = 0;
constexpr std::size_t AccountAt = 4;
constexpr std::size_t PasswordAt = 12;
constexpr Byte MailFlagBits = 0x77; // header bits 0-2, all-mails bits 4-6

std::size_t blockOf(int port) {
    return r::MailBlocks + r::MailBlockSize * std::size_t(port - 1);
}
Byte headerBit(int port) {
    return Byte(1u << (port - 1));
}
Byte allMailsBit(int port) {
    return Byte(1u << (port + 3));
}

int clampPorts(int n) {
    return std::clamp(n, 0, MailPortSlots);
}

Address fromInAddr(const in_addr& a) {
    Address out{};
    std::memcpy(out.data(), &a.s_addr, 4); // network order: first octet first
    return out;
}

// The characters, and a NUL only when they leave room for it; never more than
// the field holds (the page's edits take at most 8 characters).
void putMailText(std::span<Byte> field, std::string_view text) {
    const std::size_t n = std::min(text.size(), MailTextWidth);
    std::copy_n(text.begin(), n, field.begin());
    if (n < MailTextWidth)
        field[n] = 0;
}

bool rangeDiffers(std::span<const Byte, RecordSize> a, std::span<const Byte, RecordSize> b, std::size_t at,
                  std::size_t width) {
    return !std::equal(a.begin() + std::ptrdiff_t(at), a.begin() + std::ptrdiff_t(at + width),
                       b.begin() + std::ptrdiff_t(at));
}

} // namespace

std::optional<Address> resolveHostIPv4(const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    std::optional<Address> found;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr && ai->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in sin{};
            std::memcpy(&sin, ai->ai_addr, sizeof sin);
            found = fromInAddr(sin.sin_addr);
            break;
        }
    }
    freeaddrinfo(list);
    return found;
}

std::optional<Address> mailServerAddress(std::string_view text, const HostResolver& resolve) {
    // An empty text means no mail server; it is not looked up as a name.
    if (text.empty())
        return Address{0, 0, 0, 0};
    const std::string s(text);
    in_addr a{};
    if (inet_pton(AF_INET, s.c_str(), &a) == 1)
        return fromInAddr(a);
    if (!resolve)
        return std::nullopt;
    return resolve(s);
}

std::optional<std::string> mailRefusal(std::span<const Byte, RecordSize> rec, const std::string& serverName) {
    if (rec[r::Capabilities] & r::CapMailAndGateway)
        return std::nullopt;
    return "'" + serverName + "' do NOT support Mail Printing !!!";
}

std::string invalidMailServerMessage(int port) {
    return "Invalid LPT" + std::to_string(port) + " Mail Server !!\n";
}

std::string confirmPasswordMessage(int port) {
    return "LPT" + std::to_string(port) + " \"Confirm Password\" is incorrect,\n Pleas Retype again.\n";
}

std::vector<std::string> pollingListEntries() {
    std::vector<std::string> entries;
    entries.reserve(PollingListSize);
    entries.emplace_back("1");
    for (int minutes = 1; minutes <= 127; ++minutes)
        entries.push_back(std::to_string(minutes));
    entries.emplace_back();
    return entries;
}

int pollingSelectionOf(Byte stored) {
    return stored < PollingListSize ? int(stored) : -1;
}

MailPageState mailPageState(std::span<const Byte, RecordSize> rec, int parallelPortCount) {
    MailPageState state;
    state.portCount = clampPorts(parallelPortCount);
    state.pollingSelection = pollingSelectionOf(rec[r::MailPolling]);
    const Byte flags = rec[r::PrintFlags];
    for (int p = 1; p <= state.portCount; ++p) {
        MailSlot& slot = state.portSlots[std::size_t(p - 1)];
        const std::size_t block = blockOf(p);
        slot.server = protocol::dottedAt(rec, block + ServerAt);
        slot.account = protocol::fieldText(rec, block + AccountAt, MailTextWidth);
        slot.password = protocol::fieldText(rec, block + PasswordAt, MailTextWidth);
        slot.confirmPassword = slot.password;
        slot.printHeader = flags & headerBit(p);
        slot.printAll = flags & allMailsBit(p);
    }
    return state;
}

std::vector<std::string> printPortEntries(int portCount) {
    std::vector<std::string> entries;
    for (int p = 1; p <= clampPorts(portCount); ++p)
        entries.push_back(std::to_string(p));
    return entries;
}

std::string portGroupTitle(int index) {
    return "LPT" + std::to_string(index + 1);
}

std::optional<MailFailure> switchMailPort(MailPageState& state, const MailSlot& controls, int newIndex,
                                          const HostResolver& resolve) {
    const int port = state.current + 1;
    if (!mailServerAddress(controls.server, resolve))
        return MailFailure{invalidMailServerMessage(port), MailControl::MailServer, MailCheck::InvalidServer, port};
    if (controls.password != controls.confirmPassword)
        return MailFailure{confirmPasswordMessage(port), MailControl::ConfirmPassword, MailCheck::PasswordMismatch,
                           port};
    if (newIndex == state.current || newIndex < 0 || newIndex >= clampPorts(state.portCount))
        return std::nullopt;
    state.portSlots[std::size_t(state.current)] = controls;
    MailSlot& next = state.portSlots[std::size_t(newIndex)];
    next.confirmPassword = next.password;
    state.current = newIndex;
    return std::nullopt;
}

std::vector<MailFailure> storeMailPage(MailPageState& state, const MailSlot& controls,
                                       std::span<Byte, RecordSize> rec, const HostResolver& resolve) {
    const int ports = clampPorts(state.portCount);
    const std::size_t current = std::size_t(std::clamp(state.current, 0, MailPortSlots - 1));
    state.portSlots[current] = controls;
    if (controls.password != controls.confirmPassword)
        return {MailFailure{confirmPasswordMessage(int(current) + 1), MailControl::ConfirmPassword,
                            MailCheck::PasswordMismatch, int(current) + 1}};

    std::vector<MailFailure> failures;
    for (int p = 1; p <= ports; ++p) {
        const auto address = mailServerAddress(state.portSlots[std::size_t(p - 1)].server, resolve);
        if (!address) {
            failures.push_back({invalidMailServerMessage(p), MailControl::MailServer, MailCheck::InvalidServer, p});
            continue;
        }
        std::copy(address->begin(), address->end(), rec.begin() + std::ptrdiff_t(blockOf(p) + ServerAt));
    }
    if (!failures.empty())
        return failures;

    // The first "1" stands for one minute. The empty entry and no selection at
    // all (a stored time above 128) name no time: the stored byte is kept rather
    // than written as 128 or 255, which the box would not take as a time.
    if (state.pollingSelection == 0)
        state.pollingSelection = 1;
    if (state.pollingSelection >= 1 && state.pollingSelection <= 127)
        rec[r::MailPolling] = Byte(state.pollingSelection);

    Byte flags = rec[r::PrintFlags];
    for (int p = 1; p <= ports; ++p) {
        const MailSlot& slot = state.portSlots[std::size_t(p - 1)];
        const std::size_t block = blockOf(p);
        putMailText(rec.subspan(block + AccountAt, MailTextWidth), slot.account);
        putMailText(rec.subspan(block + PasswordAt, MailTextWidth), slot.password);
        flags = slot.printHeader ? Byte(flags | headerBit(p)) : Byte(flags & ~headerBit(p));
        flags = slot.printAll ? Byte(flags | allMailsBit(p)) : Byte(flags & ~allMailsBit(p));
    }
    rec[r::PrintFlags] = flags;
    return {};
}

std::vector<std::string> checkMailChange(std::span<const Byte, RecordSize> before,
                                         std::span<const Byte, RecordSize> after,
                                         const std::string& serverName) {
    const bool flagsChanged = ((before[r::PrintFlags] ^ after[r::PrintFlags]) & MailFlagBits) != 0;
    const bool changed = flagsChanged || before[r::MailPolling] != after[r::MailPolling] ||
                         rangeDiffers(before, after, r::MailBlocks, MailPortSlots * r::MailBlockSize);
    if (!changed)
        return {};
    if (auto refusal = mailRefusal(after, serverName))
        return {*refusal};
    std::vector<std::string> messages;
    const int ports = protocol::parallelPorts(after);
    for (int p = ports + 1; p <= MailPortSlots; ++p) {
        const Byte bits = Byte(headerBit(p) | allMailsBit(p));
        if (rangeDiffers(before, after, blockOf(p), r::MailBlockSize) ||
            ((before[r::PrintFlags] ^ after[r::PrintFlags]) & bits))
            messages.push_back("LPT" + std::to_string(p) + ": '" + serverName + "' has " +
                               std::to_string(ports) + " parallel port" + (ports == 1 ? "" : "s") +
                               "; the mail settings of this port cannot be changed");
    }
    return messages;
}

} // namespace vnk::rules
