// pellam: starts hollin or brevan, whichever suits this PC, and ends at once
// with status 0, whether or not the utility could be started.
//
// POSIX sockets need no start-up call, so the launcher has no "sockets could not
// be started" case and never shows such a message.
#include "launcher/launcher.h"
#include "platform/version.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(
                "Usage: pellam [--help | --version]\n"
                "Starts the print server configuration utility that suits this PC and ends:\n"
                "hollin when the PC has IPX, brevan otherwise. It takes them from the directory\n"
                "named by the value \"Path\" of the registry key\n"
                "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Pellam.exe,\n"
                "else from its own directory when the utility is there, else from the current one.\n"
                "Nothing is said when the utility cannot be started.\n\n"
                "Environment:\n"
                "  VNK_IPX_PORT    the UDP port that carries the IPX segment (213 on a real one);\n"
                "                  without it this PC has no IPX\n"
                "  VNK_BROADCAST   the IPX carrier's broadcast address (default 255.255.255.255)\n"
                "  VNK_STATE_DIR   where the registry is kept (default $XDG_STATE_HOME/varnotek,\n"
                "                  else ~/.local/state/varnotek)\n",
                stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("pellam " VNK_VERSION);
            return 0;
        }
    }
    vnk::launcher::launch();
    return 0;
}
