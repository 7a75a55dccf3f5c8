// The built-in demo LAN that vnksim runs when it is given no description, and
// that the screenshot programs and tests start.
#pragma once

#include "sim/sim_box.h"
#include "sim/sim_fileserver.h"

#include <vector>

namespace vnk::sim {

// The built-in demo LAN: several models and a networked PC.
std::vector<BoxSpec> demoLan();
// The demo LAN's NetWare file server FS-MAIN. Its bindery names the demo box
// QUILL-3P2S as a box (0x1447), the print servers PS-FLOOR2 and BITTERN-2P (the
// name of a demo box that is not on the bindery as one), the NDS tree ACME_TREE
// and the file servers FS-MAIN and FS-ARCHIVE.
FileServerSpec demoFileServer();

} // namespace vnk::sim
