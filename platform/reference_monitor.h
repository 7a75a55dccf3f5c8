// The suite's own print monitor, registered with the spooler for the library
// files the setup wizard names ("KESTRAL.DLL", "BRANWICK.DLL"). Its add-port step
// reads the print server the wizard chose from pserver.bin in the system
// directory, makes a port named after the box and, when a CUPS server answers,
// one queue per chosen parallel port of the box (platform/cups_queues.h, the
// code vnkctl's queue command uses too), printing through the suite's backend:
//
//   QUILL-3P2S_LPT1  ->  varnotek://0000B40A1B2C/LPT1
//
// or, on a CUPS without that backend, over LPD to the box's address now
// (lpd://192.168.1.20/LPT1). The driver is chosen "auto", but pserver.bin holds
// no device ID of the printers, so a new queue is raw and one that exists keeps
// the driver it has.
//
// A queue's location names the box's Ethernet address, and that is how the
// monitor knows the box's queues again: a later run for the box updates them
// (a changed address included) whatever its name is by then, removes those of
// ports no longer chosen, and never touches a queue of another box. A box whose
// queue name is taken gets one with its Ethernet address in it
// (QUILL_0000B40A1B2C_LPT1).
//
// The CUPS server is the one libcups finds (CUPS_SERVER, client.conf, the local
// socket), looked up afresh on every run.
#pragma once

#include "platform/cups_queues.h"
#include "platform/spooler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vnk::platform {

// The 81-byte record of pserver.bin.
struct PserverRecord {
    static constexpr std::size_t Size = 81;
    static constexpr std::size_t MaxNameLength = 47; // of the 48-byte, NUL-terminated name field

    std::string name;                 // the stored bytes, up to the first NUL (at most 47)
    std::array<std::uint8_t, 4> ip{}; // first dotted part first
    std::uint8_t portConfig = 0;      // low two bits: the number of parallel ports
    std::array<std::uint8_t, 6> mac{};
    std::uint8_t type = 0;
    std::uint8_t portMask = 0; // bit n: parallel port n+1

    int parallelPorts() const { return portConfig & 3; }
};

// Nothing unless bytes is exactly PserverRecord::Size long.
std::optional<PserverRecord> parsePserverRecord(std::string_view bytes);

// The port's name: the box's name as text (bytes that are not UTF-8 read in the
// wizard's code page, Big5) made a port name by portNameOf (cups_queues.h).
std::string portNameFor(const PserverRecord& record);

// The add-port step. ok when pserver.bin held a record and the port was made,
// whether or not queues could be made too: the report says what was done, one
// line per port, queue or reason.
AddPortResult referenceMonitorAddPort(const AddPortRequest& request);

} // namespace vnk::platform
