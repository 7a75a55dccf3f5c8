#include "protocol/status_record.h"
#include "protocol/device_id.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace vnk::protocol;

namespace {

// Sets record byte `offset` of a status buffer (behind the 10-byte header).
void put(StatusBuffer& s, std::size_t offset, std::initializer_list<Byte> bytes) {
    std::size_t i = HeaderSize + offset;
    for (Byte b : bytes)
        s[i++] = b;
}

void putText(PrinterStatusBuffer& b, std::size_t at, const std::string& text) {
    std::memcpy(b.data() + at, text.data(), text.size());
}

// A printer status reply about port `index` with this display area and this
// identification text (the two bytes before the items are part of L2).
PrinterStatusBuffer reply(int index, const std::string& display, const std::string& ident) {
    PrinterStatusBuffer b{};
    putLE16(b, 10, std::uint16_t(index));
    putLE16(b, 12, std::uint16_t(display.size()));
    putText(b, 14, display);
    putLE16(b, 214, std::uint16_t(ident.empty() ? 0 : ident.size() + 2));
    putText(b, 218, ident);
    return b;
}

const std::string Pjl = "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"00 READY\"\r\nONLINE=TRUE\r\n";

} // namespace

TEST(StatusTexts, FrameType) {
    EXPECT_EQ(frameTypeText(2, true, true), "Ethernet_II");
    EXPECT_EQ(frameTypeText(1, true, true), "802.3 & Ethernet_II");
    EXPECT_EQ(frameTypeText(3, true, true), "Ethernet SNAP & Ethernet_II");
    EXPECT_EQ(frameTypeText(0, false, true), "802.2");
    EXPECT_EQ(frameTypeText(1, true, false), "802.3"); // capable but switched off
    EXPECT_EQ(frameTypeText(4, true, true), "Ethernet_II");
    EXPECT_EQ(frameTypeText(255, true, false), "Unknown");
    EXPECT_EQ(frameTypeText(4, false, false), "Unknown");
}

TEST(StatusTexts, ProtocolSupport) {
    EXPECT_EQ(protocolSupportText(0x00, 0x01), "IPX/SPX/NDS"); // SNMP only rides on TCP/IP
    EXPECT_EQ(protocolSupportText(0x41, 0x01), "IPX/SPX & TCP/IP & SNMP");
    EXPECT_EQ(protocolSupportText(0x21, 0x00), "IPX/SPX/NDS & TCP/IP & NetBEUI");
    EXPECT_EQ(protocolSupportText(0xFF, 0xFF), "IPX/SPX & TCP/IP & SNMP & NetBEUI");
}

TEST(StatusTexts, NetworkSpeed) {
    EXPECT_EQ(networkSpeedText(1, true, 3), "10M");
    EXPECT_EQ(networkSpeedText(2, false, 1), "100M");
    EXPECT_EQ(networkSpeedText(3, false, 1), "10/100M");
    EXPECT_EQ(networkSpeedText(0, true, 1), "10/100 M");
    EXPECT_EQ(networkSpeedText(9, false, 2), "10/100 M");
    EXPECT_EQ(networkSpeedText(0, false, 1), "10M");
}

TEST(StatusTexts, NetBeuiDiagnosticAndPortWords) {
    EXPECT_EQ(netbeuiText(2, false), "N/A");
    EXPECT_EQ(netbeuiText(0, true), "Inactive");
    EXPECT_EQ(netbeuiText(1, true), "Name conflict");
    EXPECT_EQ(netbeuiText(2, true), "Active");
    EXPECT_EQ(netbeuiText(3, true), "");
    EXPECT_EQ(diagnosticText(0x80), "Enable");
    EXPECT_EQ(diagnosticText(0x7F), "Disable");
    EXPECT_EQ(portStateWord(0xFC), "Ready");
    EXPECT_EQ(portStateWord(0x05), "Off Line");
    EXPECT_EQ(portStateWord(0xFE), "Paper Out");
    EXPECT_EQ(portStateWord(0x03), "Running");
}

TEST(StatusTexts, PortNamesRunFromParallelToSerial) {
    EXPECT_EQ(portName(0, 1), "LPT1");
    EXPECT_EQ(portName(1, 1), "COM1");
    EXPECT_EQ(portName(2, 3), "LPT3");
    EXPECT_EQ(portName(4, 3), "COM2");
    EXPECT_EQ(portName(0, 0), "COM1");
}

TEST(StatusRecord, FieldsSitBehindTheHeader) {
    StatusBuffer s{};
    std::fill(s.begin(), s.begin() + 10, Byte(0xEE)); // header bytes must not leak in
    put(s, 0, {3, 0x01, 0x00, 0x00, 0x12, 0x34});
    put(s, 7, {0x01});
    std::memcpy(s.data() + 10 + 8, "FS-MAIN", 8);
    put(s, 58, {192, 168, 7, 9});
    put(s, 358, {2, 255, 255, 255, 0});
    put(s, 457, {3, 1, 10, 0, 0, 100});
    put(s, 465, {10, 0, 0, 1, 255, 0, 0, 0, 8, 8, 4, 4, 10, 0, 0, 117});

    EXPECT_EQ(frameTypeCode(s), 3);
    EXPECT_TRUE(primaryLoggedIn(s));
    EXPECT_TRUE(fileServerLoggedIn(s));
    EXPECT_EQ(ipxNetwork(s), (std::array<Byte, 4>{0x00, 0x00, 0x12, 0x34}));
    EXPECT_EQ(loggedInFileServer(s), "FS-MAIN");
    EXPECT_EQ(activeIp(s), "192.168.7.9");
    EXPECT_EQ(netbeuiState(s), 2);
    EXPECT_EQ(maskInUse(s), "255.255.255.0");
    EXPECT_EQ(speedCode(s), 3);
    EXPECT_EQ(dhcpServerState(s), 1);
    EXPECT_EQ(dhcpStart(s), "10.0.0.100");
    EXPECT_EQ(dhcpGateway(s), "10.0.0.1");
    EXPECT_EQ(dhcpNetmask(s), "255.0.0.0");
    EXPECT_EQ(dhcpDns(s), "8.8.4.4");
    EXPECT_EQ(dhcpNext(s), "10.0.0.117"); // the last bytes of the buffer
}

TEST(StatusRecord, FileServerNameEndsBeforeTheActiveAddress) {
    StatusBuffer s{};
    std::memset(s.data() + 10 + 8, 'N', 50);
    put(s, 58, {1, 2, 3, 4});
    EXPECT_EQ(loggedInFileServer(s), std::string(50, 'N'));
}

TEST(StatusRecord, PortStateBytesAndTheirBound) {
    EXPECT_EQ(portStateOffset(1), 6u);
    EXPECT_EQ(portStateOffset(2), 160u);
    EXPECT_EQ(portStateOffset(3), 259u);
    EXPECT_EQ(portStateOffset(4), 358u); // shares the NetBEUI state byte
    EXPECT_EQ(portStateOffset(5), 457u); // shares the speed code
    EXPECT_FALSE(portStateOffset(6));
    EXPECT_FALSE(portStateOffset(0));
    EXPECT_FALSE(portStateOffset(-3));
    EXPECT_FALSE(portStateOffset(INT_MAX));

    StatusBuffer s{};
    put(s, 160, {0x07});
    EXPECT_EQ(portStateByte(s, 2), 0x07);
    EXPECT_FALSE(portStateByte(s, 6));
}

TEST(StatusRecord, QueueBlocksStayInsideTheRecord) {
    StatusBuffer s{};
    put(s, 62, {0x01, 0x00});
    std::memcpy(s.data() + 10 + 64, "FS1", 4);
    std::memcpy(s.data() + 10 + 112, "Q_LASER", 8);
    const auto first = queueBlock(s, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->attached, 1);
    EXPECT_EQ(first->fileServer, "FS1");
    EXPECT_EQ(first->queue, "Q_LASER");

    // Block 4 starts at 458 and runs past the record's last byte (480).
    std::memset(s.data() + 10 + 460, 'F', StatusBufferSize - 10 - 460);
    const auto fifth = queueBlock(s, 4);
    ASSERT_TRUE(fifth);
    EXPECT_EQ(fifth->fileServer, std::string(481 - 460, 'F'));
    EXPECT_EQ(fifth->queue, "");
    EXPECT_FALSE(queueBlock(s, 5));
    EXPECT_FALSE(queueBlock(s, -1));
    EXPECT_FALSE(queueBlock(s, INT_MAX));
}

TEST(StatusRecord, DeviceStatusPageFields) {
    IdentityBlock id{};
    std::memcpy(id.data(), "PS110U  ", 8);
    std::memcpy(id.data() + 8, "Sales", 6);
    id[61] = 0x01;
    ConfigRecord rec{};
    const Byte mac[] = {0x00, 0xC0, 0x02, 0xAB, 0x0D, 0x5E};
    std::memcpy(rec.data() + 2, mac, 6);
    rec[489] = 0x01 | 0x40; // TCP/IP, IPX without NDS, no NetBEUI
    rec[72] = 0x04 | 0x80;
    StatusBuffer s{};
    put(s, 0, {0});
    put(s, 58, {10, 1, 1, 5});
    put(s, 358, {2});
    put(s, 457, {0});

    const auto f = deviceStatusFields(id, rec, s, 1);
    EXPECT_EQ(f.deviceName, "PS110U  ");
    EXPECT_EQ(f.aliasName, "Sales");
    EXPECT_EQ(f.ethernetId, "00 C0 02 AB 0D 5E");
    EXPECT_EQ(f.frameType, "802.2 & Ethernet_II");
    EXPECT_EQ(f.activeIp, "10.1.1.5");
    EXPECT_EQ(f.netbeui, "N/A");
    EXPECT_EQ(f.protocolSupport, "IPX/SPX & TCP/IP & SNMP");
    EXPECT_EQ(f.diagnosticPrintOut, "Enable");
    EXPECT_EQ(f.networkSpeed, "10M");

    rec[348] = 'x'; // a speed text from the box
    EXPECT_EQ(deviceStatusFields(id, rec, s, 1).networkSpeed, "10/100 M");
}

TEST(PrinterStatus, QuotedDisplayValueEndsAtTheLineBreak) {
    const auto info = parsePrinterStatus(reply(0, Pjl, ""), 0, "Ready");
    EXPECT_EQ(info.column2, "\"00 READY\"");
    EXPECT_TRUE(info.identificationItems.empty());
}

TEST(PrinterStatus, SecondDisplayLineWins) {
    const std::string two = "@PJL INFO STATUS\r\nDISPLAY=\"WARMING UP\"\r\nDISPLAY=\"READY\"\r\n";
    EXPECT_EQ(parsePrinterStatus(reply(2, two, ""), 2, "Ready").column2, "\"READY\"");
}

TEST(PrinterStatus, SearchStartsTwoBytesIntoTheDisplayArea) {
    EXPECT_EQ(parsePrinterStatus(reply(0, "DISPLAY=X\r\n", ""), 0, "Off Line").column2, "Off Line");
    EXPECT_EQ(parsePrinterStatus(reply(0, "\r\nDISPLAY=X\r\n", ""), 0, "Off Line").column2, "X");
}

TEST(PrinterStatus, DisplayLengthCutsTheText) {
    PrinterStatusBuffer b = reply(0, "@PJL DISPLAY=ABCDEFGH", "");
    putLE16(b, 12, 16); // ends after "ABC"
    EXPECT_EQ(parsePrinterStatus(b, 0, "Ready").column2, "ABC");
    putLE16(b, 12, 1); // shorter than the skipped two bytes
    EXPECT_EQ(parsePrinterStatus(b, 0, "Ready").column2, "Ready");
}

TEST(PrinterStatus, NoDisplayKeywordOrEmptyAreaGivesTheStateWord) {
    EXPECT_EQ(parsePrinterStatus(reply(1, "@PJL INFO STATUS\r\nCODE=10001\r\n", ""), 1, "Paper Out").column2,
              "Paper Out");
    PrinterStatusBuffer b = reply(1, Pjl, "MFG:ACME;");
    putLE16(b, 12, 0);
    const auto info = parsePrinterStatus(b, 1, "Paper Out");
    EXPECT_EQ(info.column2, "Paper Out");
    ASSERT_EQ(info.identificationItems.size(), 1u); // identification is read all the same
    EXPECT_EQ(info.identificationItems[0], "MFG:ACME");
}

TEST(PrinterStatus, ReplyAboutAnotherPortGivesTheStateWordAlone) {
    const auto info = parsePrinterStatus(reply(1, Pjl, "MFG:ACME;MDL:Laser 5;"), 0, "Running");
    EXPECT_EQ(info.column2, "Running");
    EXPECT_TRUE(info.identificationItems.empty());
    EXPECT_EQ(parsePrinterStatus(reply(0xFFFF, Pjl, ""), -1, "Running").column2, "Running");
}

TEST(PrinterStatus, OnlyTerminatedIdentificationItemsAreShown) {
    const auto info = parsePrinterStatus(reply(0, Pjl, "MFG:ACME;MDL:Laser 5;CMD:PCL,PJL"), 0, "Ready");
    ASSERT_EQ(info.identificationItems.size(), 2u);
    EXPECT_EQ(info.identificationItems[0], "MFG:ACME");
    EXPECT_EQ(info.identificationItems[1], "MDL:Laser 5");
}

TEST(PrinterStatus, IdentificationTextEndsAtItsLengthOrFirstNul) {
    PrinterStatusBuffer b = reply(0, "", "A;BB;CCC;");
    putLE16(b, 214, 2 + 5); // "A;BB;" only
    EXPECT_EQ(parsePrinterStatus(b, 0, "Ready").identificationItems, (std::vector<std::string>{"A", "BB"}));
    b = reply(0, "", std::string("A;B\0B;C;", 8));
    EXPECT_EQ(parsePrinterStatus(b, 0, "Ready").identificationItems, (std::vector<std::string>{"A"}));
}

TEST(PrinterStatus, LongIdentificationItemIsCut) {
    const std::string longItem(100, 'm');
    const auto info = parsePrinterStatus(reply(0, "", longItem + ";CLS:PRINTER;"), 0, "Ready");
    ASSERT_EQ(info.identificationItems.size(), 2u);
    EXPECT_EQ(info.identificationItems[0], std::string(printer_status::MaxIdentificationItem, 'm'));
    EXPECT_EQ(info.identificationItems[1], "CLS:PRINTER");
}

// Lengths from the network that claim more than the reply holds: the display
// text stops where the identification length begins, the items at the end of
// the reply, and the reply itself is not written.
TEST(PrinterStatus, HugeLengthsStayInsideTheReply) {
    PrinterStatusBuffer b;
    b.fill('A');
    putLE16(b, 10, 0);
    putLE16(b, 12, 0xFFFF);
    putText(b, 190, "DISPLAY=");
    // L2 = 0x4141 is printable, so a display search running into it would show it.
    b[300] = ';';
    b[415] = ';';
    const PrinterStatusBuffer copy = b;
    const auto info = parsePrinterStatus(b, 0, "Ready");
    EXPECT_EQ(info.column2, std::string(214 - 198, 'A'));
    ASSERT_EQ(info.identificationItems.size(), 2u);
    EXPECT_EQ(info.identificationItems[0].size(), printer_status::MaxIdentificationItem);
    EXPECT_EQ(info.identificationItems[1].size(), printer_status::MaxIdentificationItem);
    EXPECT_EQ(b, copy);

    PrinterStatusBuffer semis;
    semis.fill(';');
    putLE16(semis, 10, 3);
    putLE16(semis, 12, 0xFFFF);
    putLE16(semis, 214, 0xFFFF);
    const auto all = parsePrinterStatus(semis, 3, "Ready");
    EXPECT_EQ(all.column2, "Ready");
    EXPECT_EQ(all.identificationItems.size(), PrinterStatusSize - 218); // every byte to the end, no further
}

TEST(PrinterStatusRows, WithoutExtendedStatusOneRowPerPortAndNoRequests) {
    StatusBuffer s{};
    put(s, 6, {0x02});
    put(s, 160, {0x01});
    int fetches = 0;
    const auto rows = printerStatusRows(s, 1, 1, false, [&](int) -> const PrinterStatusBuffer* {
        ++fetches;
        return nullptr;
    });
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].column1, "LPT1");
    EXPECT_EQ(rows[0].column2, "Paper Out");
    EXPECT_EQ(rows[1].column1, "COM1");
    EXPECT_EQ(rows[1].column2, "Off Line");
    EXPECT_EQ(fetches, 0);
}

TEST(PrinterStatusRows, ExtendedStatusAddsItemRowsBelowTheirPort) {
    StatusBuffer s{};
    put(s, 6, {0x00});
    put(s, 160, {0x03});
    put(s, 259, {0x01});
    const PrinterStatusBuffer first = reply(0, Pjl, "MFG:ACME;MDL:Laser 5;");
    const PrinterStatusBuffer misdirected = reply(0, Pjl, "MFG:OTHER;");
    std::vector<int> asked;
    const auto rows = printerStatusRows(s, 2, 1, true, [&](int i) -> const PrinterStatusBuffer* {
        asked.push_back(i);
        if (i == 0)
            return &first;
        if (i == 1)
            return nullptr; // the request failed
        return &misdirected;
    });
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].column1, "LPT1");
    EXPECT_EQ(rows[0].column2, "\"00 READY\"");
    EXPECT_EQ(rows[1].column1, " ");
    EXPECT_EQ(rows[1].column2, "MFG:ACME");
    EXPECT_EQ(rows[2].column1, " ");
    EXPECT_EQ(rows[2].column2, "MDL:Laser 5");
    EXPECT_EQ(rows[3].column1, "LPT2");
    EXPECT_EQ(rows[3].column2, "Running");
    EXPECT_EQ(rows[4].column1, "COM1");
    EXPECT_EQ(rows[4].column2, "Off Line");
}

// The device ID CUPS gets: the identification items joined, and read by key
// under either of its names.
TEST(DeviceId, ItemsMakeTheIdAndKeysAreReadByEitherName) {
    const std::string id = deviceIdFromItems({"MANUFACTURER:FUJI XEROX;", " MDL:DocuPrint CM305 df", "junk", "CMD:PCL;"});
    EXPECT_EQ(id, "MANUFACTURER:FUJI XEROX;MDL:DocuPrint CM305 df;CMD:PCL;");
    EXPECT_EQ(deviceIdValue(id, "mfg"), "FUJI XEROX");
    EXPECT_EQ(deviceIdValue(id, "COMMAND SET"), "PCL");
    EXPECT_EQ(deviceIdValue(id, "SN"), "");
    EXPECT_EQ(makeAndModel(id), "FUJI XEROX DocuPrint CM305 df");
    EXPECT_EQ(makeAndModel("MFG:HP;MDL:HP LaserJet 4;"), "HP LaserJet 4");
    EXPECT_EQ(makeAndModel(""), "Unknown");
}
