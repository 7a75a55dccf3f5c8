// The built-in demo LAN: four boxes of different models and a networked PC, and
// the NetWare file server FS-MAIN whose bindery names some of them.
#include "sim/demo_lan.h"

#include "sim/lan_description.h"

#include <array>

namespace vnk::sim {

using namespace protocol;

std::vector<BoxSpec> demoLan() {
    std::vector<BoxSpec> lan;
    auto ip = [](Byte a, Byte b, Byte c, Byte d) { return std::array<Byte, 4>{a, b, c, d}; };

    // A full three-parallel, two-serial box with every capability.
    BoxSpec full = baseBox("quill", {0x00, 0x00, 0xB4, 0x12, 0x33, 0x44});
    setHardware(full.record, full.mac, 0x0B, 0xBF, 0x11, 0x21, 0x62);
    setText(full.record, record::AliasName, 16, "QUILL-3P2S");
    setText(full.record, record::SnmpContact, 16, "Front desk");
    setText(full.record, record::SnmpLocation, 16, "Floor 2");
    full.record[record::OptionFlags] = record::OptTcpIp | record::OptNetBeui | record::OptAppleTalk;
    setIPv4(full.record, record::IpAddress, ip(192, 168, 1, 50));
    setIPv4(full.record, record::SubnetMask, ip(255, 255, 255, 0));
    setIPv4(full.record, record::Gateway, ip(192, 168, 1, 1));
    setIPv4(full.record, record::DhcpStart, ip(192, 168, 1, 100));
    putLE16(full.record, record::DhcpRange, 50);
    setIPv4(full.record, record::DhcpNetmask, ip(255, 255, 255, 0));
    full.record[record::DhcpMode] = 1;
    full.flags61 = 0x11;
    full.features65 = 0x03;
    full.frameType = 1;
    full.speedCode = 3;
    full.portStates = {0, 1, 3, 0, 2};
    // Logged in to the demo file server, two ports attached to its queues.
    setText(full.record, record::NetwareFileServer, 48, "FS-MAIN");
    full.netware.network = {0x00, 0x00, 0x23, 0x13};
    full.netware.loggedInToPrimary = true;
    full.netware.queues[0] = QueueAttachment{"FS-MAIN", "Q-FLOOR2-LASER"};
    full.netware.queues[2] = QueueAttachment{"FS-MAIN", "Q-LABELS"};
    // The printers report their IEEE 1284 device IDs, of models whose drivers
    // CUPS finds by them: a colour laser and the generic text printer.
    full.printers = {
        {"@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n",
         "MFG:FUJI XEROX;MDL:DocuPrint CM305 df;CMD:PJL,PCLXL,PCL,PDF,HBPL,POSTSCRIPT;CLS:PRINTER;"
         "DES:FUJI XEROX DocuPrint CM305 df;",
         {}, {}},
        {"CODE=10003\r\nDISPLAY=\"OFFLINE\"\r\n", "MFG:Generic;MDL:Text-Only Printer;CMD:TXT;CLS:PRINTER;", {},
         {}},
        {"", "", {}, {}},
    };
    lan.push_back(full);

    // A one-port box that can do little but TCP/IP and cannot be upgraded over UDP.
    BoxSpec small = baseBox("marten", {0x00, 0x00, 0xB4, 0x02, 0x10, 0x01});
    setHardware(small.record, small.mac, 0x01, record::CapTcpIp, 0x12, 0x10, 0x41);
    setText(small.record, record::AliasName, 16, "MARTEN-1P");
    small.dhcpAddress = ip(192, 168, 1, 61);
    small.frameType = 2;
    small.speedCode = 1;
    small.features65 = 0x01;
    lan.push_back(small);

    // A box whose firmware is missing: it must be upgraded before it prints.
    BoxSpec bare = baseBox("gannet", {0x00, 0x00, 0xB4, 0x13, 0x20, 0x02});
    setHardware(bare.record, bare.mac, 0x05, 0x39, 0x13, 0x21, 0x60);
    setText(bare.record, record::AliasName, 16, "GANNET-1P1S");
    setIPv4(bare.record, record::IpAddress, ip(192, 168, 1, 52));
    setIPv4(bare.record, record::SubnetMask, ip(255, 255, 255, 0));
    bare.firmwarePresent = false;
    bare.flags61 = 0x20;
    bare.features65 = 0x01;
    lan.push_back(bare);

    // A two-port box with DHCP server, mail printing and NetBEUI.
    BoxSpec mid = baseBox("bittern", {0x00, 0x00, 0xB4, 0x14, 0x30, 0x03});
    setHardware(mid.record, mid.mac, 0x02, 0x7D, 0x14, 0x30, 0x72);
    setText(mid.record, record::AliasName, 16, "BITTERN-2P");
    mid.record[record::OptionFlags] = record::OptTcpIp | record::OptNetBeui | record::OptDiagnostic;
    setIPv4(mid.record, record::IpAddress, ip(192, 168, 1, 53));
    setIPv4(mid.record, record::SubnetMask, ip(255, 255, 255, 0));
    setIPv4(mid.record, record::MailBlocks, ip(192, 168, 1, 25));
    setText(mid.record, record::MailBlocks + 4, 8, "printer1");
    setText(mid.record, record::MailBlocks + 12, 8, "secret");
    mid.record[record::PrintFlags] = 0x11;
    mid.record[record::MailPolling] = 5;
    mid.record[record::DhcpMode] = 2;
    mid.flags61 = 0x41;
    mid.features65 = 0x03;
    mid.frameType = 0;
    mid.speedCode = 2;
    // A printer no driver knows: its queue is a raw one.
    mid.printers = {{"@PJL INFO STATUS\r\nDISPLAY=\"PAPER OUT\"\r\n",
                     "MFG:Varnotek;MDL:Demo Dot Matrix 9;CMD:ESC;CLS:PRINTER;", {}, {}}};
    mid.portStates = {2, 0, 0, 0, 0};
    lan.push_back(mid);

    // A networked PC: answers searches only (a Wake-on-LAN target for the plug-in).
    BoxSpec pc = baseBox("alder", {0x00, 0x11, 0x22, 0x33, 0x44, 0x55});
    pc.isPc = true;
    pc.deviceType = 1;
    pc.features65 = 0x01;
    pc.deviceName = "ALDER-PC";
    setText(pc.record, record::AliasName, 16, "ALDER");
    lan.push_back(pc);

    for (auto& b : lan)
        setRecordChecksum(b.record);
    return lan;
}

FileServerSpec demoFileServer() {
    FileServerSpec fs;
    fs.label = "fs-main";
    fs.name = "FS-MAIN";
    fs.node = {0x00, 0x00, 0x1B, 0x4F, 0x53, 0x01};
    // Network 0: the segment's own, the only one a station without a router reaches.
    fs.addObject(netware::FileServerObject, fs.name, fs.address());
    fs.addObject(netware::FileServerObject, "FS-ARCHIVE");
    fs.addObject(netware::NdsTreeObject, "ACME_TREE");
    fs.addObject(netware::PrintServerObject, "PS-FLOOR2");
    // A print server object that carries a box's name without being the box's own.
    fs.addObject(netware::PrintServerObject, "BITTERN-2P");
    fs.addObject(netware::BoxObject, "QUILL-3P2S",
                 platform::IpxAddress{fs.network, {0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}, ipx::CommandSocket});
    return fs;
}

} // namespace vnk::sim
