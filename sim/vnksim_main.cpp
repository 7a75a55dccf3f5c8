// vnksim: a simulated LAN of print server boxes on loopback.
#include "sim/sim_lan.h"
#include "platform/version.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

void usage(FILE* out) {
    std::fputs("Usage: vnksim [options]\n"
               "Runs simulated print server boxes that answer the device protocol on loopback.\n\n"
               "  --lan FILE        boxes from a LAN description (see below)\n"
               "  --demo            the built-in demo LAN (default when no --lan is given)\n"
               "  --state DIR       keep each box's configuration record, and whether it has firmware,\n"
               "                    in DIR, one file per box, so that both survive a restart\n"
               "                    (default: memory only)\n"
               "  --broadcast ADDR  broadcast address (default $VNK_BROADCAST or 127.255.255.255;\n"
               "                    must lie in 127.0.0.0/8)\n"
               "  --port N          command port (default $VNK_PORT or 13364)\n"
               "  --fw-port N       firmware data port (default $VNK_FW_PORT or 13393)\n"
               "                    (a port given as 0 is any free one; the ports taken are printed)\n"
               "  --ipx-port N      also be a virtual IPX segment carried by UDP port N (default\n"
               "                    $VNK_IPX_PORT; no IPX side when neither is given): the boxes answer\n"
               "                    every command and take firmware over IPX at their node (the\n"
               "                    Ethernet address), and the LAN's file servers (the demo's FS-MAIN)\n"
               "                    answer the nearest-server query and bindery scans\n"
               "  --netbios-port N  also answer NetBIOS datagrams on UDP port N (default\n"
               "                    $VNK_NETBIOS_PORT; no NetBIOS side when neither is given): every box\n"
               "                    is a member of the group KOVA.GROUP and owns the name of its device\n"
               "                    name followed by .CFG, and answers the setup wizard's commands there\n"
               "  --lpd-port N      the boxes also print: each box whose IP address is a loopback one\n"
               "                    (127.x.x.x) takes LPD print jobs (RFC 1179) there on TCP port N\n"
               "                    (default $VNK_LPD_PORT; no LPD when neither is given; 0 is a free\n"
               "                    port) for its queues LPT1..LPTn, and moves there when a reset gives\n"
               "                    it another address. Each job is kept, and with --state also written\n"
               "                    to DIR/<MAC>.LPT<n>/job-<number>.prn; a line per job is printed\n"
               "  --for SECONDS     stop after this long (default: until interrupted)\n"
               "  --list            print the boxes and file servers and exit\n"
               "  --make-firmware FILE [--model CODE] [--images N]\n"
               "                    write a firmware file the simulated boxes accept and exit: CODE is\n"
               "                    the box's model code as `vnkctl get BOX model_code` prints it\n"
               "                    (decimal 0-255, or hex after 0x; default 17), N images of 524288\n"
               "                    bytes (1 to 4, default 1)\n"
               "  --help            this text\n"
               "  --version         the suite's version\n\n"
               "A LAN description holds one INI section per box, PC or file server: [name] and then\n"
               "key = value lines (';' starts a comment). Keys are case-insensitive and each is given\n"
               "at most once; mac is required and no two devices share one. Numbers are decimal, or\n"
               "hex after 0x. A key with <n> stands for five, n from 1 to 5 (port2_state, printer1_id).\n"
               "Every mistake of the file is reported with its line; a file with any is refused.\n\n",
               out);
    std::fputs(vnk::sim::lanDescriptionKeys().c_str(), out);
    std::fputs("\nExample:\n"
               "  [quill]\n"
               "  mac = 00:00:B4:12:33:44\n"
               "  name = QUILL-1\n"
               "  ports = 0x0B\n"
               "  ip = 192.168.1.50\n"
               "  fault_ignore = reset, testprint\n"
               "  [fs-main]\n"
               "  kind = fileserver\n"
               "  mac = 00:00:1B:4F:53:01\n"
               "  print_servers = PS-FLOOR2\n"
               "  nds_trees = ACME_TREE\n"
               "  box_objects = quill:1447\n",
               out);
}

// Each line of a multi-line error, prefixed with the program's name.
void printError(const std::string& text) {
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        std::fprintf(stderr, "vnksim: %s\n", text.substr(from, end - from).c_str());
        from = end + 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace vnk;
    sim::LanOptions options;
    std::string error;
    const platform::Endpoint env = platform::Endpoint::fromEnvironment(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "vnksim: %s\n", error.c_str());
        return 2;
    }
    options.broadcast = std::getenv("VNK_BROADCAST") ? env.broadcast : "127.255.255.255";
    options.commandPort = env.commandPort;
    options.firmwarePort = env.firmwarePort;
    options.ipxPort = env.ipxPort;
    options.netbiosPort = env.netbiosPort;
    if (const char* lpd = std::getenv("VNK_LPD_PORT"); lpd && *lpd)
        options.lpdPort = env.lpdPort;
    // A line per job, as the boxes take them; a box that cannot listen is told on standard error.
    options.lpdLog = [](const std::string& line, bool problem) {
        std::fprintf(problem ? stderr : stdout, "%s%s\n", problem ? "vnksim: " : "", line.c_str());
        std::fflush(problem ? stderr : stdout);
    };
    std::string lanFile;
    double seconds = -1;
    bool listOnly = false;
    std::string firmwareFile;
    std::string firmwareModel = "17";
    std::string firmwareDigits = "11";
    int firmwareImages = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vnksim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto port = [&](std::uint16_t& target) {
            const std::string v = next();
            if (v == "0") { // a free port, printed when the LAN starts
                target = 0;
                return;
            }
            const auto p = platform::parsePort(v);
            if (!p) {
                std::fprintf(stderr, "vnksim: %s: not a port number: %s\n", a.c_str(), v.c_str());
                std::exit(2);
            }
            target = *p;
        };
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::puts("vnksim " VNK_VERSION);
            return 0;
        } else if (a == "--lan") {
            lanFile = next();
        } else if (a == "--demo") {
            lanFile.clear();
        } else if (a == "--state") {
            options.stateDirectory = next();
        } else if (a == "--broadcast") {
            options.broadcast = next();
        } else if (a == "--port") {
            port(options.commandPort);
        } else if (a == "--fw-port") {
            port(options.firmwarePort);
        } else if (a == "--ipx-port") {
            std::uint16_t p = 0;
            port(p);
            options.ipxPort = p;
        } else if (a == "--netbios-port") {
            std::uint16_t p = 0;
            port(p);
            options.netbiosPort = p;
        } else if (a == "--lpd-port") {
            std::uint16_t p = 0;
            port(p);
            options.lpdPort = p;
        } else if (a == "--for") {
            seconds = std::atof(next().c_str());
        } else if (a == "--list") {
            listOnly = true;
        } else if (a == "--make-firmware") {
            firmwareFile = next();
        } else if (a == "--model") {
            firmwareModel = next();
            const auto digits = sim::firmwareModelDigits(firmwareModel);
            if (!digits) {
                std::fprintf(stderr,
                             "vnksim: --model takes the model code as vnkctl get prints it: 0-255 (or 0x00-0xFF), "
                             "not %s\n",
                             firmwareModel.c_str());
                return 2;
            }
            firmwareDigits = *digits;
        } else if (a == "--images") {
            firmwareImages = std::atoi(next().c_str());
            if (firmwareImages < 1 || firmwareImages > 4) {
                std::fprintf(stderr, "vnksim: --images takes 1 to 4\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "vnksim: unknown option %s (see --help)\n", a.c_str());
            return 2;
        }
    }

    if (!firmwareFile.empty()) {
        std::vector<protocol::Byte> file;
        for (int i = 0; i < firmwareImages; ++i) {
            const auto image = sim::makeFirmwareImage(firmwareDigits, 0x01FF, protocol::Byte(i));
            file.insert(file.end(), image.begin(), image.end());
        }
        if (!sim::writeFile(firmwareFile, file)) {
            std::fprintf(stderr, "vnksim: cannot write %s\n", firmwareFile.c_str());
            return 1;
        }
        std::printf("vnksim: wrote %s (%d image%s for model code %s, digits %s)\n", firmwareFile.c_str(),
                    firmwareImages, firmwareImages == 1 ? "" : "s", firmwareModel.c_str(), firmwareDigits.c_str());
        return 0;
    }

    sim::LanDescription description;
    if (lanFile.empty()) {
        description.boxes = sim::demoLan();
        description.fileServers = {sim::demoFileServer()};
    } else {
        description = sim::loadLan(lanFile, &error);
    }
    if (description.boxes.empty()) {
        printError(error);
        return 2;
    }
    sim::SimLan lan(options);
    for (auto& b : description.boxes)
        lan.addBox(std::move(b));
    for (auto& f : description.fileServers)
        lan.addFileServer(std::move(f));
    if (listOnly) {
        for (int i = 0; i < lan.boxCount(); ++i)
            lan.withBox(i, [](sim::SimBox& box) {
                std::printf("%-10s %-4s %s  %s\n", box.spec().label.c_str(), box.spec().isPc ? "pc" : "box",
                            protocol::macText(box.spec().mac).c_str(), box.activeName().c_str());
                return 0;
            });
        for (int i = 0; i < lan.fileServerCount(); ++i)
            lan.withFileServer(i, [](sim::SimFileServer& server) {
                const sim::FileServerSpec& f = server.spec();
                std::printf("%-10s %-4s %s  %s (network %02X%02X%02X%02X, %zu bindery objects)\n", f.label.c_str(),
                            "fs", protocol::macText(f.node).c_str(), f.name.c_str(), f.network[0], f.network[1],
                            f.network[2], f.network[3], f.bindery.size());
                return 0;
            });
        return 0;
    }
    if (!lan.start(&error)) {
        std::fprintf(stderr, "vnksim: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::printf("vnksim: %d devices on %s, command port %u, firmware port %u", lan.boxCount(),
                options.broadcast.c_str(), lan.commandPort(), lan.firmwarePort());
    if (options.ipxPort)
        std::printf(", IPX carrier port %u (%d file server%s)", lan.ipxPort(), lan.fileServerCount(),
                    lan.fileServerCount() == 1 ? "" : "s");
    if (options.netbiosPort)
        std::printf(", NetBIOS datagram port %u", lan.netbiosPort());
    if (options.lpdPort)
        std::printf(", LPD port %u", lan.lpdPort());
    std::printf("\n");
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    while (!g_stop) {
        if (seconds >= 0 && std::chrono::steady_clock::now() - start >= std::chrono::duration<double>(seconds))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    lan.stop();
    return 0;
}
