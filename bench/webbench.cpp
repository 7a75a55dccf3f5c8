// vnkwebbench: the administration pages in a browser, timed. The demo LAN runs
// in this process, npkova-web beside it, and headless Chromium opens wbem.htm:
// the figure is from the browser's request for wbem.htm to the list page loaded
// in its frame, by the browser's own clocks, beside the plug-in's search alone
// on the same LAN. Then the server's memory. Loopback only.
#include "plugin/core/admin.h"
#include "sim/demo_lan.h"
#include "sim/sim_lan.h"
#include "support/chromium.h"
#include "support/ports.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace vnk;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string statusField(pid_t pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0)
            return line.substr(line.find_first_not_of(" \t", field.size() + 1));
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (argc < 2 || vnk::testing::chromiumProgram().empty()) {
        std::fprintf(stderr, "usage: vnkwebbench NPKOVA-WEB [RUNS] (needs Chromium)\n");
        return 2;
    }
    ::setenv("VNK_BROADCAST", "127.255.255.255", 1);
    sim::SimLan lan;
    for (const sim::BoxSpec& box : sim::demoLan())
        lan.addBox(box);
    std::string error;
    if (!lan.start(&error)) {
        std::fprintf(stderr, "vnkwebbench: %s\n", error.c_str());
        return 1;
    }
    const auto work = std::filesystem::temp_directory_path() / ("vnkwebbench." + std::to_string(::getpid()));
    std::filesystem::create_directories(work / "admin");
    for (const auto& page : std::filesystem::directory_iterator(VNK_ADMIN_PAGES))
        std::filesystem::copy(page.path(), work / "admin" / page.path().filename());
    std::ofstream(work / "admin" / "Config.ini") << "[General Information]\nVendorID=0\nDeviceType1=1\nDeviceType2=2\n";

    // The plug-in's search alone.
    std::vector<double> alone;
    for (int i = 0; i < runs; ++i) {
        std::vector<plugin::DeviceEntry> list;
        platform::StderrReporter reporter;
        const auto start = std::chrono::steady_clock::now();
        plugin::XGetTorvikPort(list, lan.endpoint(), platform::Timing::real(), (work / "admin").string(), true,
                               reporter);
        alone.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }

    const std::uint16_t port = vnk::testing::freeLoopbackPort();
    const pid_t server = ::fork();
    if (server == 0) {
        ::setenv("VNK_PORT", std::to_string(lan.endpoint().commandPort).c_str(), 1);
        ::setenv("VNK_WOL_PORT", "9", 1);
        ::execl(argv[1], argv[1], std::to_string(port).c_str(), (work / "admin").c_str(), nullptr);
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string memoryAtStart = statusField(server, "VmRSS");

    // From the request for the page (its navigation's requestStart) to the list
    // page's load event, both on the wall clock of the browser.
    const auto timed = [&](vnk::testing::HeadlessChromium& browser, const std::string& page) {
        browser.open("http://127.0.0.1:" + std::to_string(port) + "/" + page);
        const std::string ms = browser.waitFor(
            "frames[0] && frames[0].document.readyState == 'complete' && "
            "frames[0].location.pathname == '/WBEMLIST.htm' ? String("
            "frames[0].performance.timeOrigin + frames[0].performance.getEntriesByType('navigation')[0]"
            ".loadEventEnd - performance.timeOrigin - performance.getEntriesByType('navigation')[0]"
            ".requestStart) : ''",
            std::chrono::seconds(20));
        return ms.empty() ? -1.0 : std::atof(ms.c_str());
    };
    // As Refresh does, each run leaves a page of the server's own, so the
    // browser's process for the server is up already; the first run starts it
    // and is left out.
    std::vector<double> inBrowser, browserAlone;
    {
        vnk::testing::HeadlessChromium browser((work / "profile").string());
        for (int i = 0; i <= runs && browser.running(); ++i) {
            const double search = timed(browser, "wbem.htm");
            // The same two pages again, with no search: what the browser takes.
            const double pages = timed(browser, "WBEMMAIN.htm");
            if (i > 0 && search >= 0 && pages >= 0) {
                inBrowser.push_back(search);
                browserAlone.push_back(pages);
            }
        }
    }
    std::printf("vnkwebbench: the demo LAN (%zu boxes), %d runs, medians\n", sim::demoLan().size(), runs);
    std::printf("  plug-in search alone:                     %8.1f ms\n", median(alone));
    std::printf("  wbem.htm requested -> list page loaded:   %8.1f ms  (%zu of %d runs measured)\n",
                median(inBrowser), inBrowser.size(), runs);
    std::printf("  the same pages without a search:          %8.1f ms  (the browser's own work)\n",
                median(browserAlone));
    std::printf("  beyond the search and the browser:        %8.1f ms  (goal: at most 50 ms)\n",
                median(inBrowser) - median(alone) - median(browserAlone));
    std::printf("  npkova-web memory: %s at start, %s after the searches (of which %s its own, the rest\n"
                "                     mapped libraries), %s at most\n",
                memoryAtStart.c_str(), statusField(server, "VmRSS").c_str(), statusField(server, "RssAnon").c_str(),
                statusField(server, "VmHWM").c_str());
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    std::filesystem::remove_all(work);
    return inBrowser.size() == std::size_t(runs) ? 0 : 1;
}
