// The administration pages for any browser: what npkova-web answers to a
// request, without Qt and without HTTP. The plug-in's part is played here, on
// the server, with the plug-in's own code (plugin/core): a page whose <embed>
// would search gets the frame page of a search, the magic packet form and the
// batch become HTML forms posted back here. Every answer may block (a search
// takes seconds) and any number may run at once on different threads.
#pragma once

#include "platform/endpoint.h"
#include "platform/registry.h"
#include "platform/timing.h"
#include "plugin/core/admin.h"
#include "transport/wol/magic_packet.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vnk::plugin::web {

struct SiteOptions {
    std::string folder;                // the administration folder, an absolute path without links
    std::string address = "127.0.0.1"; // the IPv4 address listened on ("0.0.0.0": every one)
    std::uint16_t port = 0;
    std::string token;                 // what every form that sends a packet must carry back
    platform::Endpoint endpoint;       // the search
    wol::WolDestination wol;           // the magic packets
    platform::Timing timing = platform::Timing::real();
    std::string stateDir = platform::stateDirectory(); // the registry: the last Ethernet address sent
};

struct Request {
    std::string method;                      // "GET", "POST", ...
    std::string path;                        // the URL's path, percent-decoded: "/wbem.htm"
    std::string host;                        // the Host header; empty when there was none
    std::map<std::string, std::string> form; // a post's fields
};

struct Answer {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    std::string location; // where a redirect leads
};

// "[ADDRESS:]PORT": an IPv4 address (127.0.0.1 when left out) and a port from 1.
std::optional<std::pair<std::string, std::uint16_t>> parseListenAddress(std::string_view text);

class AdminSite {
public:
    explicit AdminSite(SiteOptions options);

    // Whether a Host header names this server: its address (any IPv4 address
    // when it listens on all of them) or, on loopback, localhost; with its port,
    // which may be left out only for port 80. Any other name could be one that
    // an attacker's DNS points here.
    bool hostAllowed(std::string_view host) const;
    Answer answer(const Request& request);

    // Searches run so far (a browser that asks while one runs waits for it).
    int searchesRun() const;

private:
    DevicePages search();
    Answer servePage(const Request& request, const std::string& file, const std::string& name);

    SiteOptions m_options;

    mutable std::mutex m_mutex;
    std::condition_variable m_searchDone;
    bool m_searching = false;
    int m_searches = 0;
    std::optional<DevicePages> m_pages; // of the last search
    std::mutex m_sending;         // one form's packets at a time
};

} // namespace vnk::plugin::web
