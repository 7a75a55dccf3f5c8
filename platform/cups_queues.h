// The CUPS queues of a print server's parallel ports, made or updated through
// libcups: one code path for the setup wizard's print monitor and for
// `vnkctl queue`.
//
//   QUILL-3P2S_LPT1  ->  varnotek://0000B40A1B2C/LPT1
//
// A queue prints through the suite's backend, which finds the box by its
// Ethernet address, so the queue follows the box when its address changes. A
// CUPS without that backend refuses the scheme; the queue then prints to the
// box's address now over LPD (lpd://192.168.1.20/LPT1), the report says so, and
// a later run has to update it when the address changes.
//
// A queue's location names the box's Ethernet address ("print server
// 192.168.1.20, MAC 00-00-B4-0A-1B-2C"), and that is how a queue is known again
// as the box's: a later run for the box updates it whatever the box is called by
// then, and a queue of another box is never touched. A box whose queue name is
// taken gets one with its Ethernet address in it (QUILL_0000B40A1B2C_LPT1).
//
// The driver: "raw" (no driver), a ppd-name as CUPS lists it
// ("drv:///sample.drv/generic.ppd", "lsb/...", "foomatic:..."), or "auto": the
// driver CUPS offers for the printer's IEEE 1284 device ID whose own device ID
// names the same manufacturer and model, else raw. When "auto" finds no driver
// for a queue that exists already, the queue keeps the driver it has (one a user
// chose later included); a queue that has the driver chosen keeps its PPD and its
// options.
//
// The CUPS server is the one libcups finds (CUPS_SERVER, client.conf, the local
// socket), looked up afresh on every call. A server that wants a password gets
// none: the caller is told it refused.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vnk::platform {

// How long a CUPS server may take to accept the connection, and to answer a request.
inline constexpr int CupsConnectTimeoutMs = 3000;
inline constexpr double CupsReplyTimeoutSeconds = 15.0;

// The device URI of the suite's backend for a parallel port (1-3):
// "varnotek://0000B4123344/LPT1".
std::string backendUri(const std::array<std::uint8_t, 6>& mac, int port);

// A box's name as a port name: backslashes and control characters replaced by
// "_"; "PS" and the last three bytes of the MAC in hexadecimal when the name is
// empty (the box's factory device name, e.g. "PS0A1B2C").
std::string portNameOf(std::string_view boxName, const std::array<std::uint8_t, 6>& mac);

// The CUPS queue of a parallel port (1-3): "<port name>_LPT<n>", with what a CUPS
// queue name cannot hold (control characters, blanks, "/", "\", "#", "?", "@",
// "%", quotes) replaced by "_" and cut to 127 bytes between characters; other
// characters stay as they are (UTF-8), so the box's name stays readable.
struct CupsQueueName {
    std::string name;
    bool changed = false; // the port name could not be used as it is
};
CupsQueueName cupsQueueName(std::string_view portName, int parallelPort);

// The manufacturer and model of a device ID (MFG or MANUFACTURER, MDL or MODEL,
// keys in any case), trimmed; empty when absent.
// "192.168.1.20".
std::string dotted(const std::array<std::uint8_t, 4>& ip);
// "00-00-B4-0A-1B-2C", or with another separator ("" for 0000B40A1B2C).
std::string macText(const std::array<std::uint8_t, 6>& mac, const std::string& separator = "-");

struct DeviceIdModel {
    std::string make, model;
};
DeviceIdModel deviceIdModel(std::string_view deviceId);

// A driver as CUPS-Get-PPDs lists it.
struct CupsDriver {
    std::string name;         // ppd-name
    std::string makeAndModel; // ppd-make-and-model
    std::string deviceId;     // ppd-device-id
    std::string language;     // ppd-natural-language
};

// The driver "auto" takes for a printer of that device ID among what CUPS
// offered (best first, as CUPS lists them): one whose own device ID names the
// same manufacturer and model (without regard to case), in English rather than
// in another language, one that says it is "(recommended)" rather than not;
// nullptr when none names both, and so for an ID without them.
const CupsDriver* bestDriver(std::string_view deviceId, const std::vector<CupsDriver>& offered);

// The printer on a chosen parallel port.
struct QueuePort {
    int port = 0;         // 1-3: LPT1-LPT3
    std::string deviceId; // its IEEE 1284 device ID; empty when unknown
};

struct QueueRequest {
    std::string portName;              // the box's name as text (portNameOf); queues are "<portName>_LPT<n>"
    std::array<std::uint8_t, 6> mac{}; // recognises the box's queues; in the backend's URI
    std::array<std::uint8_t, 4> ip{};  // the box's address now: the location, and the LPD fallback
    std::vector<QueuePort> ports;      // the chosen parallel ports
    std::string driver = "auto";       // "auto", "raw" or a ppd-name
    bool removeUnchosen = false;       // the box's queues of other ports go
};

// A queue made or updated.
struct MadeQueue {
    std::string name;
    int port = 0;
    std::string deviceUri;
    std::string driver;       // "raw", a ppd-name, or empty: the queue kept the driver it had
    std::string makeAndModel; // of that driver; empty for raw
    bool created = false;     // else it was there and was updated
};

enum class CupsReach {
    NotAsked, // the request could not make a queue (a box without an address)
    Answered, // the server listed its queues
    NoServer, // nothing accepted the connection
    NoList,   // the server did not list its queues
};

struct QueueResult {
    std::string server; // where CUPS was asked: "127.0.0.1:631", or the local socket's path
    CupsReach reach = CupsReach::NotAsked;
    std::vector<MadeQueue> queues;
    // One line per queue made, queue removed, queue refused, or note; the server's
    // state (reach) is the caller's to tell.
    std::vector<std::string> report;
    int refused = 0; // queues the server refused or that could not be named, removals it refused
};

// Makes or updates the queues of the chosen ports. A box without an address
// (0.0.0.0) gets none (one refusal).
QueueResult makeCupsQueues(const QueueRequest& request);

} // namespace vnk::platform
