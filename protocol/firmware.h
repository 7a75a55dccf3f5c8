// Firmware upgrade: what the Upgrade page decides about a firmware file (image
// count, Type buttons, the protocol text, the vendor and model check) and the
// block transfer itself, XUpgradeFlashRAM, in which the box asks for 1024-byte
// blocks by number and the utility answers each request from the file.
//
// A firmware file holds one to three images of 524288 bytes, back to back. An
// image carries "Torvik" at offset 6, its model code as two upper-case hex digits
// at offset 14, "MTYPE" at 17 and a 16-bit protocol mask at 22. Block n (n >= 1)
// is the 1024 bytes at image offset (n - 1) * 1024; block number 449 is the box's
// end marker.
//
// The page and vnkctl share these functions. The order the Upgrade page uses:
//   activation: supportsUdpUpgrade() (else noIpUpgradeText(), page disabled),
//               then checksEnabled = true and defaultFirmwarePath();
//   Browse:     browseFirmwareFile() (image count, Type buttons, protocol text,
//               clears checksEnabled for a file that is not whole images);
//   Type k:     readProtocolMask(path, k) and protocolMaskText() when it has one;
//   Upgrade:    checkFirmwareFile() -> fileCheckText() for anything but Accepted,
//               then XUpgradeFlashRAM(), then on success "Upgrade Succeed !!!" and
//               rereadAfterUpgrade(); on failure fileCheckText(result.fileError)
//               when the transfer hit a file error, then "Upgrade Failed !!!".
#pragma once

#include "protocol/pserver_context.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vnk::protocol {

namespace firmware {
inline constexpr std::uint64_t ImageSize = 524288; // 0x80000
inline constexpr int MaxImages = 3;
inline constexpr std::size_t BlockSize = 1024;
inline constexpr int FullImageBlocks = 448;          // a full transfer, blocks 1-448
inline constexpr int BlocksPerImage = int(ImageSize / BlockSize); // 512: no block lies past its image
inline constexpr std::uint16_t EndMarker = 449;      // 0x01C1
inline constexpr std::uint16_t EndReplyNumber = 0xFFFF;
inline constexpr std::size_t BlockRequestSize = 12;  // header + block number
inline constexpr std::size_t BlockDatagramSize = HeaderSize + 2 + BlockSize; // 1036
inline constexpr std::size_t EndReplySize = 12;
inline constexpr std::size_t HandshakeReplySize = 12; // 10 is as good
// Image offsets
inline constexpr std::size_t VendorOffset = 6;
inline constexpr std::size_t ModelOffset = 14;
inline constexpr std::size_t MarkerOffset = 17;
inline constexpr std::size_t MaskOffset = 22;
inline constexpr char Vendor[] = "Torvik";
inline constexpr char Marker[] = "MTYPE";
// Block 448 carries the box's Ethernet address and a check byte.
inline constexpr int AddressBlock = 448;
inline constexpr std::size_t AddressSlot = 1016; // block offset, 6 bytes
inline constexpr std::size_t CheckByte = 1023;   // block offset
} // namespace firmware

// ------------------------------------------------------------------ texts

// The protocol lines of the Upgrade page, one per mask bit 0-8, after a header line.
struct ProtocolTexts {
    const char* header;
    std::array<const char*, 9> bits;
};
extern const ProtocolTexts EnglishProtocolTexts;
extern const ProtocolTexts ChineseProtocolTexts; // the IPX utility's

// The messages of the Upgrade page and the transfer.
struct UpgradeTexts {
    const char* confirm;          // Yes/No, question icon
    const char* enterFileFirst;
    const char* fileNotFound;
    const char* diskReadError;
    const char* unknownFileError;
    const char* formatNotCorrect;
    const char* succeeded;
    const char* failed;
    const char* cannotReadEeprom;
    const char* cannotReadStatus;
    const char* progressLine1;
    const char* progressLine2;
};
extern const UpgradeTexts EnglishUpgradeTexts;
extern const UpgradeTexts ChineseUpgradeTexts; // the IPX utility's

// "'NAME' do NOT support IP upgrade!!!"
std::string noIpUpgradeText(const std::string& serverName);

// ------------------------------------------------------------------ page logic

// The model code's two hex digits: "%04X" of the little-endian word at record
// offset 504, last two characters ("1A").
std::string modelCodeDigits(std::span<const Byte, RecordSize> rec);
// "QUILL.BIN" for 11 ... "CURLEW2.BIN" for 32; "FW<digits>IMG.BIN" for any other.
std::string defaultFirmwareFileName(const std::string& digits);
// The file name field at activation: the directory, a separator and the default name.
std::string defaultFirmwarePath(const std::string& directory, const std::string& digits);
// True when the high nibble of record byte 506 is 6 or more.
bool supportsUdpUpgrade(std::span<const Byte, RecordSize> rec);

// size / 524288 when the size is an exact multiple of it, else 0.
int imageCount(std::uint64_t fileSize);

struct TypeButtons {
    bool type1 = false, type2 = false, type3 = false;
    bool operator==(const TypeButtons&) const = default;
};
// 2 images: Type1 and Type2; 3 images: all three; any other count: none.
TypeButtons visibleTypeButtons(int imageCount);

// The protocol text for a mask: a header line when any of the 16 bits is set,
// then one line per set bit 0-8 in bit order. Bits 9-15 have no line.
std::string protocolMaskText(std::uint16_t mask, const ProtocolTexts& texts = EnglishProtocolTexts);

// The outcome of looking at a firmware file.
enum class FileCheck { Accepted, FormatWrong, FileNotFound, DiskReadError, UnknownFileError };
// The message for a result ("" for Accepted).
std::string fileCheckText(FileCheck result, const UpgradeTexts& texts = EnglishUpgradeTexts);
// ENOENT -> FileNotFound, EIO -> DiskReadError, anything else -> UnknownFileError.
FileCheck fileErrorFromErrno(int error);
inline bool isFileError(FileCheck c) { return c != FileCheck::Accepted && c != FileCheck::FormatWrong; }

// The protocol mask of image typeIndex: 7 bytes at 17 + 524288 * typeIndex that
// start with "MTYPE". nullopt when the path is not a regular file, there are not
// 7 bytes or there is no marker; error (if
// given) receives the file error when the file could not be opened or read.
std::optional<std::uint16_t> readProtocolMask(const std::string& path, int typeIndex, FileCheck* error = nullptr);

// What Browse does with a chosen file. checksEnabled is the page's flag: while it
// is set the file is analysed (and a file that is not whole images clears it);
// while it is clear, or the path is not a regular file, only the name is taken
// and nothing else changes.
struct BrowseResult {
    FileCheck file = FileCheck::Accepted; // a file error stops the analysis
    bool analysed = false;                // false: only the file name was taken
    int imageCount = 0;
    TypeButtons buttons;
    int typeIndex = 0;
    std::string protocolText;             // image 0's, "" without a marker
};
BrowseResult browseFirmwareFile(const std::string& path, bool& checksEnabled,
                                const ProtocolTexts& texts = EnglishProtocolTexts);

// Upgrade step 4, before anything is sent. Checks or no checks, the path must be
// a regular file (a folder, device or pipe is FormatWrong, and opening it does not
// wait) that holds the 448 blocks the box asks for from image typeIndex, else
// FormatWrong. With checks enabled that image must also start "Torvik" at its
// offset 6 and carry modelDigits at its offset 14 (case-sensitive).
FileCheck checkFirmwareFile(const std::string& path, int typeIndex, const std::string& modelDigits,
                            bool checksEnabled);

// Block 448 gets the record's Ethernet address when it starts 00 00 B4, its bytes
// 3, 4 and 5 differ from 02, 03 and 04, and the slot (bytes 1016-1021) is all
// zero; each inserted byte is XOR-ed into the check byte 1023. True when inserted.
bool insertEthernetAddress(std::span<Byte, firmware::BlockSize> block, const MacAddress& recordEthernet);

// ------------------------------------------------------------------ the transfer

// Why a transfer ended.
enum class UpgradeEnd {
    Completed,          // the box asked for the end marker and the end reply went out
    BadArgument,        // type index outside 0-2
    SocketFailed,       // set-up failed; reported
    HandshakeFailed,    // no accepted reply to the upgrade handshake
    BoxNotFound,        // box with firmware: no search answered before the second handshake
    NotInUpgradeMode,   // box with firmware: its search reply showed no 0 at byte 64 or identity byte 54
    FileError,          // the file did not open or could not be read; fileError says why
    NoRequest,          // the box stopped asking (the silence limit passed)
    RequestReadsUsedUp, // a block request did not come together within the reads
    SelectFailed,       // waiting for a request failed; reported
    SendFailed,         // a block or the end reply could not be sent
    BlockOutOfReach,    // a requested block lies outside the image or beyond the end of the file
    BroadcastAddress,   // the entry's address names every box (IPX node FF FF FF FF FF FF); reported
};
const char* upgradeEndText(UpgradeEnd end);

struct UpgradeResult {
    UpgradeEnd end = UpgradeEnd::BadArgument;
    FileCheck fileError = FileCheck::Accepted; // set with UpgradeEnd::FileError
    int blocksSent = 0;          // different blocks 1-448 answered
    int datagramsSent = 0;       // block datagrams sent, repeats included
    int lastBlock = -1;          // the last block number asked for
    bool identityRefreshed = false; // the final search answered and the entry got its identity
};

// One transport's side of a transfer: its sockets, the upgrade handshake and
// the datagrams of the block exchange. Every datagram of the exchange starts
// with the transport's header; a block request carries the block number (16-bit
// little-endian) right after it, a block datagram the number and the 1024
// bytes, the end reply the number 0xFFFF. The rules that do not depend on the
// transport (the searches around the handshakes, reading blocks on demand, the
// address in block 448, progress, the final searches) are runUpgrade()'s.
class UpgradeChannel {
public:
    virtual ~UpgradeChannel() = default;
    virtual std::size_t headerSize() const = 0;
    // Socket set-up before the first handshake. False after a reported failure
    // or refusal, with why set; the channel is closed then.
    virtual bool open(UpgradeEnd& why) = 0;
    // One upgrade handshake: 1 accepted, 0 not, -1 after a reported failure.
    virtual int handshake() = 0;
    // Between the handshakes and the first block request. False after a
    // reported failure.
    virtual bool beginBlocks() { return true; }
    // Waits up to the transport's silence limit for a datagram.
    virtual platform::WaitResult waitRequest() = 0;
    // Takes one whole datagram; Taken only when it has exactly size bytes.
    virtual platform::SizedReceive receiveRequest(Byte* buffer, std::size_t size) = 0;
    // Writes the header of a datagram to the box (headerSize() bytes).
    virtual void buildHeader(Byte* datagram) = 0;
    // Sends a block or the end reply: 1 when all of it went within the send
    // attempts, 0 when it did not, -1 after a reported failure.
    virtual int send(const Byte* data, std::size_t length) = 0;
    // Closes whatever is open; may be called more than once.
    virtual void close() = 0;
    // True: the final searches follow whatever ended the block exchange; false:
    // only the end reply or a file that failed once blocks were being sent.
    virtual bool searchAfterAnyEnd() const = 0;
};

// The transfer over a channel, for every transport: a type index outside 0-2
// is refused before anything is opened; a box with firmware is searched for
// (its search reply must show 0 at byte 64 of the datagram or at identity
// byte 54) and shaken hands with again; then every block request is answered from the file until the end
// marker; at last the box is searched for and the entry takes its identity.
int runUpgrade(CPServerContext& ctx, UpgradeChannel& channel, ServerEntry& entry, const std::string& path,
               const MacAddress& recordEthernet, int typeIndex, const UpgradeProgress& progress,
               UpgradeResult* result);

// The transfer over whatever carries the context's operations.
inline int XUpgradeFlashRAM(CPServerContext& ctx, ServerEntry& entry, const std::string& path,
                            const MacAddress& recordEthernet, int typeIndex, const UpgradeProgress& progress = {},
                            UpgradeResult* result = nullptr) {
    return ctx.XUpgradeFlashRAM(entry, path, recordEthernet, typeIndex, progress, result);
}

// After a successful upgrade: set the entry's firmware-present flag and read the
// configuration record and status into the context's buffers again.
enum class Reread { Ok, CannotReadEeprom, CannotReadStatus };
Reread rereadAfterUpgrade(CPServerContext& ctx, ServerEntry& entry);

} // namespace vnk::protocol
