// The LAN description file that vnksim runs: one INI section per box, PC or
// NetWare file server, read into the specs the simulated LAN is made of.
#pragma once

#include "sim/sim_box.h"
#include "sim/sim_fileserver.h"

#include <string>
#include <vector>

namespace vnk::sim {

// What a LAN description holds: boxes and PCs, and NetWare file servers.
struct LanDescription {
    std::vector<BoxSpec> boxes;
    std::vector<FileServerSpec> fileServers;
};

// The LAN description file: one INI section per box, PC or file server. Every
// mistake of the file is reported, one line each as "file:line: [section] key:
// what was expected", in *error; a file with any mistake gives nothing. A
// directory, a file that cannot be read or is longer than 1 MiB, two sections of
// one name, two devices with one Ethernet address and a file without a box are
// refused.
LanDescription loadLan(const std::string& path, std::string* error);
// The boxes of a LAN description alone.
std::vector<BoxSpec> loadLanDescription(const std::string& path, std::string* error);
// The keys of a LAN description, one a line with the form of its value, for --help.
std::string lanDescriptionKeys();
// The box every section of a description starts from before its keys are
// applied (and so does each box of the demo LAN): a one-port TCP/IP box whose
// device name is made from the last three bytes of its address.
BoxSpec baseBox(const std::string& label, const MacAddress& mac);

} // namespace vnk::sim
