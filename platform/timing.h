// Every wait and attempt count of the device protocol, in one table. Programs use
// the real table; tests may inject a faster one so a silent box fails in
// milliseconds instead of seconds.
#pragma once

#include <array>
#include <chrono>

namespace vnk::platform {

using std::chrono::microseconds;
using std::chrono::milliseconds;

struct Timing {
    microseconds sendWait{1'000'000};    // one send attempt waits this long for writability
    microseconds receiveWait{200'000};   // one receive attempt waits this long for a datagram
    int sendAttempts = 20;               // attempts of one send phase
    int receiveAttempts = 20;            // attempts of one receive phase
    std::array<microseconds, 3> discoveryPassWait{microseconds{0}, microseconds{1'000'000},
                                                  microseconds{2'000'000}};
    int discoveryIdleSteps = 20;         // a pass ends after this many steps that completed no reply
    int reconnectSearches = 20;          // searches for a box that was reset
    int consistentReadAttempts = 4;      // reads of a record about to be changed and written back
    // Firmware transfer
    microseconds blockRequestWait{21'000'000}; // silence that ends a transfer
    int blockRequestReads = 20;
    int upgradeSearchesBefore = 10;
    int upgradeSearchesAfter = 30;
    // Over IPX
    int ipxSearchAttempts = 10;          // XSearchPS: send and receive, this many times
    int ipxLongReceives = 70;            // receives awaiting a write's or a reset's confirmation
    microseconds ipxBlockRequestWait{20'000'000}; // silence that ends a transfer over IPX
    std::array<microseconds, 2> netwarePassWait{microseconds{1'000'000}, microseconds{2'000'000}};
    microseconds netwareScanWait{2'000'000}; // one bindery scan or property reply, and the end of the connection
    int netwareReads = 20;               // reads of one NetWare reply
    std::array<microseconds, 2> ipxSearchPassWait{microseconds{1'000'000}, microseconds{2'000'000}};
    // The setup wizard: every wait of its UDP, IPX and NetBIOS exchanges (a send's
    // wait for writability, a receive's wait, a NetBIOS pass and poll step).
    microseconds wizardWait{500'000};
    int netbiosStartupRounds = 10; // search requests of the NetBIOS start-up before it gives up
    // The administration plug-in: its own device search (a pass ends when no
    // further reply comes within its wait), its sends, and the magic packets.
    std::array<microseconds, 3> pluginPassWait{microseconds{0}, microseconds{1'000'000},
                                               microseconds{2'000'000}};
    microseconds pluginSendWait{1'000'000}; // one try of a search request waits this long for writability
    int pluginSendAttempts = 10;            // tries of one search request
    int pluginIdleReceives = 10;            // a pass ends after this many receives that completed no reply
    microseconds magicPacketSendWait{1'000'000}; // one try of a magic packet waits this long for writability
    int magicPacketAttempts = 5;                 // tries of one magic packet

    static Timing real() { return Timing{}; }
    // For tests against the in-process simulated LAN on loopback, where a box
    // answers within a millisecond: waits shrink, attempt counts stay as they are
    // so that the attempt logic is exercised unchanged.
    static Timing fast() {
        Timing t;
        t.sendWait = microseconds{100'000};
        t.receiveWait = microseconds{10'000};
        t.discoveryPassWait = {microseconds{0}, microseconds{30'000}, microseconds{60'000}};
        t.blockRequestWait = microseconds{1'000'000};
        t.ipxBlockRequestWait = microseconds{1'000'000};
        t.netwarePassWait = {microseconds{30'000}, microseconds{60'000}};
        t.netwareScanWait = microseconds{60'000};
        t.ipxSearchPassWait = {microseconds{30'000}, microseconds{60'000}};
        t.wizardWait = microseconds{20'000};
        t.pluginPassWait = {microseconds{0}, microseconds{30'000}, microseconds{60'000}};
        t.pluginSendWait = microseconds{100'000};
        t.magicPacketSendWait = microseconds{100'000};
        return t;
    }
};

} // namespace vnk::platform
