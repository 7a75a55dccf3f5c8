#include "protocol/firmware.h"

#include "platform/udp_socket.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bitset>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace vnk::protocol {

using namespace platform;
using namespace firmware;

// ------------------------------------------------------------------ texts

const ProtocolTexts EnglishProtocolTexts{
    "Printing Protocol Support:\n\n",
    {"   TCP/IP printing\n\n", "   EMail printing\n\n", "   NetBEUI printing\n\n", "   IPX printing\n\n",
     "   SMB printing\n\n", "   NetWare Bindery printing\n\n", "   NetWare NDS printing\n\n",
     "   Remote printing\n\n", "   AppleTalk printing\n\n"}};

const ProtocolTexts ChineseProtocolTexts{
    "列印通訊協定支援:\n\n",
    {"   TCP/IP 列印\n\n", "   EMail 列印\n\n", "   NetBEUI 列印\n\n", "   IPX 列印\n\n", "   SMB 列印\n\n",
     "   NetWare Bindery 列印\n\n", "   NetWare NDS 列印\n\n", "   Remote 列印\n\n", "   AppleTalk 列印\n\n"}};

const UpgradeTexts EnglishUpgradeTexts{
    "To upgrade the Varnotek would destroy the code currently used. Are you sure to continue upgrading process ?",
    "Please enter Varnotek upgrade file first",
    "File not found",
    "Disk Read error",
    "Unknown File error",
    "File Format is not correct !!!",
    "Upgrade Succeed !!!",
    "Upgrade Failed !!!",
    "Cannot Read EEPROM",
    "Cannot Read Status",
    "Upgrade in progress. This may take",
    "a few minutes, please wait...",
};

// The IPX utility reports file errors inside the transfer in English as well;
// these are the page's own texts.
const UpgradeTexts ChineseUpgradeTexts{
    "進行軔體更新會先清除原有之軔體, 確定要繼續?",
    "請先輸入檔案名稱",
    "找不到檔案",
    "讀取失敗",
    "發生錯誤",
    "檔案格式不正確",
    "軔體更新完成",
    "軔體更新失敗",
    "無法讀取列印伺服器的EEPROM",
    "無法讀取列印伺服器的狀態",
    "軔體更新進行中......................................",
    "請耐心等候...",
};

std::string noIpUpgradeText(const std::string& serverName) {
    return "'" + serverName + "' do NOT support IP upgrade!!!";
}

// ------------------------------------------------------------------ page logic

std::string modelCodeDigits(std::span<const Byte, RecordSize> rec) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned(getLE16(rec, record::ModelCode)));
    return std::string(text + 2, 2);
}

std::string defaultFirmwareFileName(const std::string& digits) {
    static const char* const ones[] = {"QUILL.BIN", "MARTEN.BIN", "GANNET1.BIN",
                                       "BITTERN.BIN", "GANNET5.BIN", "GANNET6.BIN"};
    if (digits.size() == 2 && digits[0] == '1' && digits[1] >= '1' && digits[1] <= '6')
        return ones[digits[1] - '1'];
    if (digits == "31")
        return "CURLEW1.BIN";
    if (digits == "32")
        return "CURLEW2.BIN";
    return "FW" + digits + "IMG.BIN";
}

std::string defaultFirmwarePath(const std::string& directory, const std::string& digits) {
    // Only the file name is upper case: on this system the directory's case matters.
    std::string dir = directory;
    if (!dir.empty() && dir.back() == '/')
        dir.pop_back();
    return dir + "/" + defaultFirmwareFileName(digits);
}

bool supportsUdpUpgrade(std::span<const Byte, RecordSize> rec) {
    return (rec[record::Revision] >> 4) >= 6;
}

int imageCount(std::uint64_t fileSize) {
    if (fileSize % ImageSize != 0)
        return 0;
    const std::uint64_t n = fileSize / ImageSize;
    return n > std::uint64_t(INT_MAX) ? INT_MAX : int(n);
}

TypeButtons visibleTypeButtons(int count) {
    if (count == 2)
        return {true, true, false};
    if (count == 3)
        return {true, true, true};
    return {};
}

std::string protocolMaskText(std::uint16_t mask, const ProtocolTexts& texts) {
    if (mask == 0)
        return {};
    std::string text = texts.header;
    for (std::size_t bit = 0; bit < texts.bits.size(); ++bit)
        if (mask & (1u << bit))
            text += texts.bits[bit];
    return text;
}

std::string fileCheckText(FileCheck result, const UpgradeTexts& texts) {
    switch (result) {
    case FileCheck::Accepted: return {};
    case FileCheck::FormatWrong: return texts.formatNotCorrect;
    case FileCheck::FileNotFound: return texts.fileNotFound;
    case FileCheck::DiskReadError: return texts.diskReadError;
    case FileCheck::UnknownFileError: return texts.unknownFileError;
    }
    return texts.unknownFileError;
}

FileCheck fileErrorFromErrno(int error) {
    if (error == ENOENT)
        return FileCheck::FileNotFound;
    if (error == EIO)
        return FileCheck::DiskReadError;
    return FileCheck::UnknownFileError;
}

namespace {

// A read-only file descriptor that closes itself. It is opened without waiting,
// so that a named pipe or a device chosen as the file cannot stall the program;
// only a regular file is ever read as firmware (isRegular()).
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) {
        if (m_fd < 0) {
            m_error = fileErrorFromErrno(errno);
            return;
        }
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            m_error = fileErrorFromErrno(errno);
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        m_regular = S_ISREG(st.st_mode);
    }
    ~ReadOnlyFile() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool isRegular() const { return m_regular; }
    FileCheck error() const { return m_error; }

    std::optional<std::uint64_t> size() {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            m_error = fileErrorFromErrno(errno);
            return std::nullopt;
        }
        return std::uint64_t(st.st_size);
    }

    // Seeks to offset and reads up to n bytes. Returns the count read (short at the
    // end of the file), or -1 after a file error (error() says which); a seek that
    // does not land on offset reads nothing.
    long readAt(std::uint64_t offset, Byte* out, std::size_t n) {
        const off_t want = off_t(offset);
        const off_t at = ::lseek(m_fd, want, SEEK_SET);
        if (at < 0) {
            m_error = fileErrorFromErrno(errno);
            return -1;
        }
        if (at != want)
            return 0;
        std::size_t have = 0;
        while (have < n) {
            const ssize_t got = ::read(m_fd, out + have, n - have);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                m_error = fileErrorFromErrno(errno);
                return -1;
            }
            if (got == 0)
                break;
            have += std::size_t(got);
        }
        return long(have);
    }

private:
    int m_fd = -1;
    bool m_regular = false;
    FileCheck m_error = FileCheck::Accepted;
};

// The smallest file that holds the blocks a box asks for from image typeIndex.
constexpr std::uint64_t smallestFileFor(int typeIndex) {
    return ImageSize * std::uint64_t(typeIndex) + std::uint64_t(FullImageBlocks) * BlockSize;
}

std::optional<std::uint16_t> maskAt(ReadOnlyFile& file, int typeIndex, FileCheck* error) {
    Byte b[7];
    const long n = file.readAt(MarkerOffset + ImageSize * std::uint64_t(typeIndex), b, sizeof b);
    if (n < 0) {
        if (error)
            *error = file.error();
        return std::nullopt;
    }
    if (n != 7 || std::memcmp(b, Marker, 5) != 0)
        return std::nullopt;
    return getLE16(b, 5);
}

} // namespace

std::optional<std::uint16_t> readProtocolMask(const std::string& path, int typeIndex, FileCheck* error) {
    if (error)
        *error = FileCheck::Accepted;
    if (typeIndex < 0 || typeIndex >= MaxImages)
        return std::nullopt;
    ReadOnlyFile file(path);
    if (!file.isOpen()) {
        if (error)
            *error = file.error();
        return std::nullopt;
    }
    if (!file.isRegular())
        return std::nullopt; // no image, no mask
    return maskAt(file, typeIndex, error);
}

BrowseResult browseFirmwareFile(const std::string& path, bool& checksEnabled, const ProtocolTexts& texts) {
    BrowseResult b;
    ReadOnlyFile file(path);
    if (!file.isOpen()) {
        b.file = file.error();
        return b;
    }
    // Only the name of anything but a regular file is taken; Upgrade refuses it.
    if (!checksEnabled || !file.isRegular())
        return b;
    const auto size = file.size();
    if (!size) {
        b.file = file.error();
        return b;
    }
    b.analysed = true;
    b.imageCount = imageCount(*size);
    if (*size % ImageSize != 0)
        checksEnabled = false; // until the page is activated again
    b.buttons = visibleTypeButtons(b.imageCount);
    b.typeIndex = 0;
    FileCheck error = FileCheck::Accepted;
    if (const auto mask = maskAt(file, 0, &error))
        b.protocolText = protocolMaskText(*mask, texts);
    b.file = error;
    return b;
}

FileCheck checkFirmwareFile(const std::string& path, int typeIndex, const std::string& modelDigits,
                            bool checksEnabled) {
    ReadOnlyFile file(path);
    if (!file.isOpen())
        return file.error();
    if (typeIndex < 0 || typeIndex >= MaxImages || !file.isRegular())
        return FileCheck::FormatWrong;
    // The box erases its flash at the handshake and then asks for the image's
    // blocks: a file that cannot hold them all would leave it without firmware,
    // so it is refused before anything is sent, checks or no checks.
    const auto size = file.size();
    if (!size)
        return file.error();
    if (*size < smallestFileFor(typeIndex))
        return FileCheck::FormatWrong;
    if (!checksEnabled)
        return FileCheck::Accepted;
    Byte b[10];
    const long n = file.readAt(ImageSize * std::uint64_t(typeIndex) + VendorOffset, b, sizeof b);
    if (n < 0)
        return file.error();
    if (n != 10 || std::memcmp(b, Vendor, 6) != 0 || modelDigits.size() != 2 ||
        std::memcmp(b + 8, modelDigits.data(), 2) != 0)
        return FileCheck::FormatWrong;
    return FileCheck::Accepted;
}

bool insertEthernetAddress(std::span<Byte, BlockSize> block, const MacAddress& mac) {
    if (mac[0] != 0x00 || mac[1] != 0x00 || mac[2] != 0xB4)
        return false;
    if (mac[3] == 0x02 || mac[4] == 0x03 || mac[5] == 0x04)
        return false;
    for (std::size_t i = 0; i < 6; ++i)
        if (block[AddressSlot + i] != 0)
            return false;
    for (std::size_t i = 0; i < 6; ++i) {
        block[AddressSlot + i] = mac[i];
        block[CheckByte] ^= mac[i];
    }
    return true;
}

// ------------------------------------------------------------------ the transfer

const char* upgradeEndText(UpgradeEnd end) {
    switch (end) {
    case UpgradeEnd::Completed: return "the box reached the end marker";
    case UpgradeEnd::BadArgument: return "no such firmware image";
    case UpgradeEnd::SocketFailed: return "the socket could not be set up";
    case UpgradeEnd::HandshakeFailed: return "the box did not answer the upgrade handshake";
    case UpgradeEnd::BoxNotFound: return "the box did not answer a search before the transfer";
    case UpgradeEnd::NotInUpgradeMode: return "the box did not enter upgrade mode";
    case UpgradeEnd::FileError: return "the firmware file could not be read";
    case UpgradeEnd::NoRequest: return "the box stopped asking for blocks";
    case UpgradeEnd::RequestReadsUsedUp: return "a block request did not arrive whole";
    case UpgradeEnd::SelectFailed: return "waiting for a block request failed";
    case UpgradeEnd::SendFailed: return "a block could not be sent";
    case UpgradeEnd::BlockOutOfReach: return "the box asked for a block the image does not have";
    case UpgradeEnd::BroadcastAddress: return "the box's address is the broadcast address";
    }
    return "";
}

namespace {

// Answers block requests from the file until the box asks for the end marker
// or something ends the transfer. The file is read on demand, one block at a time.
// fileOpened tells a file that did not open from one that failed while blocks
// were being read.
UpgradeEnd serveBlocks(CPServerContext& ctx, UpgradeChannel& channel, const std::string& path,
                       const MacAddress& recordEthernet, int typeIndex, const UpgradeProgress& progress,
                       UpgradeResult& r, bool& fileOpened) {
    const Timing& t = ctx.timing();
    ReadOnlyFile file(path);
    fileOpened = file.isOpen();
    if (!file.isOpen()) {
        r.fileError = file.error();
        return UpgradeEnd::FileError;
    }
    const std::size_t header = channel.headerSize();
    const std::size_t requestSize = header + 2; // the end reply has this size too
    const std::size_t blockDatagramSize = header + 2 + BlockSize;
    std::array<Byte, BlockDatagramSize> datagram{};
    std::array<Byte, BlockRequestSize> request{};
    if (blockDatagramSize > datagram.size() || requestSize > request.size())
        return UpgradeEnd::BadArgument; // a transport with a longer header than UDP's
    std::bitset<FullImageBlocks + 1> answered;
    for (;;) {
        // Each read takes one whole datagram. Only one of a request's size that
        // names a block is a request: anything else that reaches the socket, such
        // as a duplicated handshake reply (shorter, or of a request's size with
        // number 0, which no block has), is dropped and the wait goes on. A
        // failing read is skipped.
        std::uint16_t number = 0;
        for (int i = 0; i < t.blockRequestReads && number == 0; ++i) {
            const WaitResult w = channel.waitRequest();
            if (w == WaitResult::TimedOut)
                return UpgradeEnd::NoRequest;
            if (w == WaitResult::Failed) {
                ctx.reporter().report(socketFailureText(errno, "XUpgradeFlashRAM", "select"));
                return UpgradeEnd::SelectFailed;
            }
            if (channel.receiveRequest(request.data(), requestSize) == SizedReceive::Taken)
                number = getLE16(request, header);
        }
        if (number == 0)
            return UpgradeEnd::RequestReadsUsedUp;
        r.lastBlock = number;
        std::size_t length = blockDatagramSize;
        if (number == EndMarker) {
            putLE16(datagram, header, EndReplyNumber);
            length = requestSize;
        } else {
            // Block numbers count from 1 and never leave the chosen image.
            if (number > BlocksPerImage)
                return UpgradeEnd::BlockOutOfReach;
            const std::uint64_t offset =
                ImageSize * std::uint64_t(typeIndex) + std::uint64_t(number - 1) * BlockSize;
            const std::span<Byte, BlockSize> block(datagram.data() + header + 2, BlockSize);
            const long got = file.readAt(offset, block.data(), BlockSize);
            if (got < 0) {
                r.fileError = file.error();
                return UpgradeEnd::FileError;
            }
            if (std::size_t(got) < BlockSize)
                return UpgradeEnd::BlockOutOfReach;
            if (number == AddressBlock)
                insertEthernetAddress(block, recordEthernet);
            putLE16(datagram, header, number);
        }
        channel.buildHeader(datagram.data());
        if (channel.send(datagram.data(), length) != 1)
            return UpgradeEnd::SendFailed;
        if (number == EndMarker)
            return UpgradeEnd::Completed;
        ++r.datagramsSent;
        if (number <= FullImageBlocks && !answered.test(number)) {
            answered.set(number);
            ++r.blocksSent;
        }
        if (progress)
            progress(r.blocksSent);
    }
}

} // namespace

int runUpgrade(CPServerContext& ctx, UpgradeChannel& channel, ServerEntry& entry, const std::string& path,
               const MacAddress& recordEthernet, int typeIndex, const UpgradeProgress& progress,
               UpgradeResult* result) {
    UpgradeResult local;
    UpgradeResult& r = result ? *result : local;
    r = UpgradeResult{};
    auto finish = [&](UpgradeEnd end) {
        channel.close();
        r.end = end;
        return end == UpgradeEnd::Completed ? 1 : 0;
    };
    if (typeIndex < 0 || typeIndex >= MaxImages)
        return finish(UpgradeEnd::BadArgument);
    const Timing& t = ctx.timing();

    UpgradeEnd refused = UpgradeEnd::SocketFailed;
    if (!channel.open(refused))
        return finish(refused);
    if (channel.handshake() != 1)
        return finish(UpgradeEnd::HandshakeFailed);

    // A box with firmware takes the first handshake as the call to stop its
    // firmware and wait; it shows that in its search reply, and the second
    // handshake starts the transfer. It clears byte 64 of the reply datagram:
    // identity byte 54 behind the UDP header, identity byte 60 behind the
    // shorter IPX one. A box that clears identity byte 54 whatever the header
    // waits as well.
    constexpr std::size_t UpgradeModeReplyByte = 64;
    const std::size_t id = ctx.searchReplyIdentity();
    Byte search[DiscoveryReplySize]{};
    if (firmwarePresent(entry.identity)) {
        bool found = false;
        for (int i = 0; i < t.upgradeSearchesBefore && !found; ++i)
            found = ctx.XSearchPS(entry, search) == 1;
        if (!found)
            return finish(UpgradeEnd::BoxNotFound);
        if (channel.handshake() != 1)
            return finish(UpgradeEnd::HandshakeFailed);
        if (search[UpgradeModeReplyByte] != 0 && search[id + identity::UpgradeState] != 0)
            return finish(UpgradeEnd::NotInUpgradeMode);
    }

    bool fileOpened = false;
    UpgradeEnd end = UpgradeEnd::SocketFailed;
    if (channel.beginBlocks())
        end = serveBlocks(ctx, channel, path, recordEthernet, typeIndex, progress, r, fileOpened);
    channel.close(); // the file is closed already

    // After the end reply, or when the file failed the box while it was being
    // sent (a block beyond its end, a read error), the box is searched for and the
    // entry takes its fresh identity: a box left without firmware says so.
    const bool fileFailedMidway = end == UpgradeEnd::BlockOutOfReach || (end == UpgradeEnd::FileError && fileOpened);
    if (end == UpgradeEnd::Completed || fileFailedMidway || channel.searchAfterAnyEnd()) {
        for (int i = 0; i < t.upgradeSearchesAfter; ++i) {
            if (ctx.XSearchPS(entry, search) == 1) {
                std::memcpy(entry.identity.data(), search + id, IdentitySize);
                r.identityRefreshed = true;
                break;
            }
        }
    }
    return finish(end);
}

Reread rereadAfterUpgrade(CPServerContext& ctx, ServerEntry& entry) {
    entry.identity[identity::FirmwarePresent] = 1;
    if (ctx.XReadPServerEEProm(entry, ctx.configBuffer) != 1)
        return Reread::CannotReadEeprom;
    if (ctx.XGetPServerStatus(entry, ctx.statusBuffer) != 1)
        return Reread::CannotReadStatus;
    return Reread::Ok;
}

} // namespace vnk::protocol
