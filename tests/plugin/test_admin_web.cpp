// npkova-web as browsers meet it: headless Chromium lists the boxes of a
// simulated LAN and sends the magic packet form (tshark reads the packets);
// a post without the token, a path out of the folder and a foreign Host are
// refused; two browsers that ask at once share one search.
#include "plugin/web/admin_site.h"
#include "sim/sim_lan.h"
#include "support/chromium.h"
#include "support/pcap.h"
#include "support/ports.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <future>

using namespace vnk;

namespace {

sim::BoxSpec listed(sim::BoxSpec b) {
    b.features65 |= 0x01; // asks to be listed by the administration pages
    return b;
}

// The status line of the answer to a request written as it stands, which a
// browser would have tidied first.
std::string statusLine(std::uint16_t port, const std::string& request) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    std::string answer(256, '\0');
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::write(s, request.data(), request.size()) != ssize_t(request.size()))
        answer.clear();
    answer.resize(std::size_t(std::max<ssize_t>(0, ::read(s, answer.data(), answer.size()))));
    ::close(s);
    return answer.substr(0, answer.find('\r'));
}

} // namespace

TEST(AdminWeb, ChromiumListsTheBoxesSendsTheFormAndIsRefusedWhatIsNotOurs) {
    if (vnk::testing::chromiumProgram().empty())
        GTEST_SKIP() << "Chromium is not installed (./run setup --tests installs it)";
    sim::SimLan lan;
    lan.addBox(listed(vnk::testing::testBox("QUILL", 1)));
    lan.addBox(listed(vnk::testing::testBox("MARTEN", 2)));
    std::string error;
    ASSERT_TRUE(lan.start(&error)) << error;
    vnk::testing::ScratchDir admin, state;
    for (const auto& page : std::filesystem::directory_iterator(ADMIN_PAGES))
        std::filesystem::copy(page.path(), admin.file(page.path().filename().string()));
    const std::uint16_t port = vnk::testing::freeLoopbackPort();
    // Where the magic packets go: what arrives is read by tshark afterwards.
    const int wol = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in wolAddress{AF_INET, 0, {htonl(INADDR_ANY)}, {}};
    socklen_t wolLength = sizeof wolAddress;
    ASSERT_EQ(::bind(wol, reinterpret_cast<sockaddr*>(&wolAddress), sizeof wolAddress), 0);
    ::getsockname(wol, reinterpret_cast<sockaddr*>(&wolAddress), &wolLength);
    const std::uint16_t wolPort = ntohs(wolAddress.sin_port);

    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t server = ::fork();
    if (server == 0) {
        ::setenv("VNK_PORT", std::to_string(lan.endpoint().commandPort).c_str(), 1);
        ::setenv("VNK_WOL_PORT", std::to_string(wolPort).c_str(), 1);
        ::setenv("VNK_STATE_DIR", state.path().c_str(), 1);
        ::dup2(out[1], 1);
        ::execl(NPKOVA_WEB, NPKOVA_WEB, std::to_string(port).c_str(), admin.path().c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    FILE* said = ::fdopen(out[0], "r");
    char line[256] = {};
    const bool serving = std::fgets(line, sizeof line, said) && std::string(line).find("serving") != std::string::npos;
    struct Stop {
        pid_t pid;
        FILE* said;
        ~Stop() {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            std::fclose(said);
        }
    } stop{server, said};
    ASSERT_TRUE(serving) << line;
    const std::string home = "http://127.0.0.1:" + std::to_string(port) + "/";

    {
        vnk::testing::HeadlessChromium browser(state.file("profile"));
        ASSERT_TRUE(browser.running());
        browser.open(home + "wbem.htm");
        const std::string listed = browser.waitFor(
            "frames[0].document.body.textContent.includes('MARTEN') ? frames[0].document.body.textContent : ''",
            std::chrono::seconds(15));
        EXPECT_NE(listed.find("QUILL"), std::string::npos) << listed;
        EXPECT_NE(listed.find("Refresh"), std::string::npos) << listed;

        browser.open(home + "magic.htm");
        ASSERT_EQ(browser.waitFor("document.getElementById('mac') ? 'form' : ''", std::chrono::seconds(5)), "form")
            << browser.evaluate("location.href + document.body.innerText.slice(0, 300)");
        browser.evaluate("ip.value = '127.0.0.1'; mac.value = '0000b400a5f6'; send.click()");
        EXPECT_EQ(browser.waitFor("document.getElementById('message').innerText", std::chrono::seconds(10)),
                  "npkova: Send Successfully!");
        EXPECT_EQ(browser.evaluate("mac.value"), "0000B400A5F6");
        std::vector<vnk::testing::PcapBytes> sent;
        for (pollfd p{wol, POLLIN, 0}; ::poll(&p, 1, 500) == 1;) {
            vnk::testing::PcapBytes bytes(2048);
            bytes.resize(std::size_t(std::max<ssize_t>(0, ::recv(wol, bytes.data(), bytes.size(), 0))));
            sent.push_back(vnk::testing::ipv4Udp(bytes, wolPort));
        }
        vnk::testing::writePcap(state.file("wol.pcap"), sent);
        std::string sixteen = "00:00:b4:00:a5:f6";
        for (int i = 1; i < 16; ++i)
            sixteen += ",00:00:b4:00:a5:f6";
        EXPECT_EQ(sent.size(), 6u);
        if (vnk::testing::haveTshark()) {
            EXPECT_EQ(vnk::testing::runLines("tshark -r " + state.file("wol.pcap") +
                                             " -o udp.try_heuristic_first:TRUE -Y wol -T fields -e wol.mac"),
                      std::vector<std::string>(6, sixteen));
        }

        // Another site's page posts the same form without the token.
        EXPECT_EQ(browser.evaluate("fetch('magic.htm', {method: 'POST', body: new URLSearchParams("
                                   "{send: 'magic', ip: '127.0.0.1', mac: '0000B400A5F6'})}).then(r => r.status)"),
                  403);
    }
    const std::string host = "\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    EXPECT_EQ(statusLine(port, "GET /../" + std::filesystem::path(state.path()).filename().string() +
                                   "/registry.reg HTTP/1.1" + host),
              "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(statusLine(port, "GET /%2e%2e/etc/passwd HTTP/1.1" + host), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(statusLine(port, "GET /MagicPkt.ini HTTP/1.1" + host), "HTTP/1.1 404 Not Found");
    // A name an attacker's DNS points at 127.0.0.1.
    EXPECT_EQ(statusLine(port, "GET /wbem.htm HTTP/1.1\r\nHost: rebind.example:" + std::to_string(port) + "\r\n\r\n"),
              "HTTP/1.1 421 Misdirected Request");
}

TEST(AdminSite, TwoBrowsersAskingAtOnceShareOneSearch) {
    sim::SimLan lan;
    lan.addBox(listed(vnk::testing::testBox("QUILL", 1)));
    std::string error;
    ASSERT_TRUE(lan.start(&error)) << error;
    vnk::testing::ScratchDir admin;
    admin.write("wbem.htm", "<EMBED TYPE=\"Varnotek/x-vnk\">");
    plugin::web::SiteOptions options;
    options.folder = std::filesystem::canonical(admin.path()).string();
    options.port = 8080;
    options.endpoint = lan.endpoint();
    // Long enough that the second browser surely asks while the search runs.
    options.timing = platform::Timing::fast();
    options.timing.pluginPassWait = {std::chrono::microseconds{0}, std::chrono::milliseconds{500},
                                     std::chrono::milliseconds{500}};
    plugin::web::AdminSite site(options);
    const plugin::web::Request request{"GET", "/wbem.htm", "127.0.0.1:8080", {}};
    auto first = std::async(std::launch::async, [&] { return site.answer(request).body; });
    auto second = std::async(std::launch::async, [&] { return site.answer(request).body; });
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(site.searchesRun(), 1);
    const std::string list = site.answer({"GET", "/WBEMLIST.htm", "localhost:8080", {}}).body;
    EXPECT_NE(list.find("QUILL"), std::string::npos) << list;
    EXPECT_EQ(site.searchesRun(), 1);
}
