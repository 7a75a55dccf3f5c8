// The simulated box's side of a firmware transfer: after the handshake it asks
// for 1024-byte blocks by number in an order of its own (sequential, shuffled,
// reversed, with repeats, or a fixed script), asks again when a block does not
// come, checks every block it gets, verifies the image at the end and then asks
// for the end marker. It keeps what it received so that tests can compare it
// with the file.
//
// What makes an image valid for a simulated box: the XOR of all 1024 bytes of
// block 448 is 0 (the check byte at block offset 1023 covers the whole block), so
// an address inserted into the block's slot must be XOR-ed into the check byte.
#pragma once

#include "protocol/wire.h"

#include <chrono>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace vnk::sim {

using protocol::Byte;
using protocol::MacAddress;
using Clock = std::chrono::steady_clock;

// How a datagram of the device protocol is framed: over UDP behind a 10-byte
// header that names the box by its Ethernet address, over IPX behind a 4-byte
// header (the IPX node is the address). The payloads are the same.
enum class Framing { Udp, Ipx };

// How a box asks for firmware blocks.
struct FirmwarePlan {
    enum class Order { Sequential, Shuffled, Reverse };
    Order order = Order::Sequential;
    int blocks = 448;          // the box asks for blocks 1..blocks (a full image is 448)
    int repeats = 0;           // this many blocks are asked for a second time, later on
    std::vector<int> script;   // when not empty: exactly these block numbers, in this order
    std::chrono::milliseconds pace{0};         // pause after a block before the next request; 0 = as fast as it can
    std::chrono::milliseconds retryAfter{250}; // a request whose block did not come is sent again after this
    int retries = 8;                           // ... at most this often; then the box gives up
    std::size_t handshakeReplySize = 12;       // 10 or 12
    bool reportsUpgradeMode = true; // a box with firmware shows 0 at reply byte 64 after the first handshake
    bool verifyCheckByte = true;    // the image is refused unless block 448 XORs to 0
    unsigned seed = 7;              // for the shuffled order and the repeats
};

// What the box saw of its transfers, for tests.
struct FirmwareStats {
    int handshakes = 0;
    int transfersStarted = 0;
    int transfersCompleted = 0;
    int requestsSent = 0;     // first requests of a position in the order
    int retriesSent = 0;
    int blocksReceived = 0;   // blocks taken, repeats included
    int repeatsChecked = 0;   // blocks received again and compared with the first copy
    int repeatMismatches = 0; // ... that differed
    int badDatagrams = 0;     // wrong size, header or block number
    int verifyFailures = 0;   // the image was refused at the end
    bool gaveUp = false;      // the last transfer was abandoned (retries used up or told to stop)
    std::vector<int> order;   // the block numbers asked for in the last transfer, repeats and end marker included
};

class FirmwareReceiver {
public:
    // Starts a new transfer with this plan; its blocks come framed as its
    // handshake was. repeatChance: after each new block, the chance that the
    // box next asks again for one it already has, picked at random (a fault).
    void start(const FirmwarePlan& plan, Clock::time_point now, Framing framing = Framing::Udp,
               double repeatChance = 0);
    Framing framing() const { return m_framing; }
    bool active() const { return m_state == State::Asking || m_state == State::AwaitingEnd; }
    void noteHandshake() { m_stats.handshakes++; }

    // Block numbers to ask for now: a first request when its time has come, or a
    // repeat of an unanswered one. stopAfter >= 0: no first request beyond that many.
    std::vector<std::uint16_t> due(Clock::time_point now, int stopAfter);

    // A datagram from the firmware port (UDP) or the firmware socket (IPX)
    // addressed to this box. True when it was the end reply to the end marker:
    // the transfer is complete. One of the other framing than the transfer's
    // counts as a bad datagram.
    bool receive(std::span<const Byte> datagram, const MacAddress& mac, Clock::time_point now,
                 Framing arrivedOver = Framing::Udp);

    const FirmwareStats& stats() const { return m_stats; }
    // The blocks received, block n at (n - 1) * 1024 (zero where none came).
    const std::vector<Byte>& image() const { return m_image; }
    bool received(int block) const;

private:
    enum class State { Idle, Asking, AwaitingEnd, Done, Abandoned };
    void askNext(Clock::time_point when);
    void finishOrder(Clock::time_point now);

    FirmwarePlan m_plan;
    double m_repeatChance = 0;
    std::mt19937 m_random;
    Framing m_framing = Framing::Udp;
    State m_state = State::Idle;
    std::vector<int> m_sequence;
    std::size_t m_position = 0;
    int m_waitingFor = -1;              // the number asked for and not yet answered
    std::optional<Clock::time_point> m_askAt; // when the next request goes out
    int m_retriesLeft = 0;
    std::vector<Byte> m_image;
    std::vector<bool> m_have;
    FirmwareStats m_stats;
};

// ------------------------------------------------------------------ test images

// A 524288-byte image a simulated box accepts: "Torvik" at 6, the model digits at
// 14, "MTYPE" and the protocol mask at 17, a pattern elsewhere that differs from
// block to block and from seed to seed, an empty address slot in block 448 and a
// check byte that makes the block XOR to 0.
std::vector<Byte> makeFirmwareImage(const std::string& modelDigits, std::uint16_t protocolMask, Byte seed = 0);
// The two model digits of an image for a box whose record holds this model code,
// given as `vnkctl get <box> model_code` prints it: decimal 0-255 (hex after 0x
// is taken too). 21 gives "15". nullopt for anything else.
std::optional<std::string> firmwareModelDigits(const std::string& modelCode);
// True when the 1024 bytes of a block XOR to 0.
bool blockChecks(std::span<const Byte> block);
// Writes bytes to path; false on failure.
bool writeFile(const std::string& path, std::span<const Byte> bytes);

} // namespace vnk::sim
