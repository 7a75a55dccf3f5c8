// The generated list and frame pages as a browser reads them: headless
// Chromium draws them and its DOM holds a box's name as text, however much
// markup the name carries.
#include "plugin/core/admin.h"
#include "support/chromium.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vnk::testing {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

plugin::DeviceEntry device(const std::string& name, const char* ip, protocol::Byte type) {
    plugin::DeviceEntry e;
    std::memcpy(e.identity.data() + protocol::identity::ServerName, name.data(),
                std::min<std::size_t>(name.size(), protocol::identity::ServerNameWidth - 1));
    e.identity[protocol::identity::DeviceType] = type;
    e.identity[protocol::identity::Features] = 0x01;
    e.from.sin_family = AF_INET;
    ::inet_pton(AF_INET, ip, &e.from.sin_addr);
    return e;
}

TEST(DevicePagesInChromium, DrawAndKeepAMarkupNameAsText) {
    const std::string browser = chromiumProgram();
    if (browser.empty())
        GTEST_SKIP() << "Chromium is not installed (./run setup installs it)";
    ScratchDir dir;
    RecordingReporter reporter;
    const std::string evil = "<img src=x id=injected>&Co";
    plugin::writeDevicePages({device(evil, "192.168.1.20", 0), device("OFFICE-PC", "192.168.1.30", 1)}, dir.path(),
                             true, reporter);
    ASSERT_TRUE(reporter.messages.empty()) << reporter.messages.front();

    const std::string flags = chromiumFlags(dir.file("profile"));
    const std::string page = "file://" + dir.file("WBEMLIST.htm");
    const std::string dom = dir.file("dom.html");
    std::string command = browser + flags + " --dump-dom " + page + " >" + dom + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string text = readAll(dom);
    EXPECT_NE(text.find("WBEM List"), std::string::npos) << text;
    EXPECT_NE(text.find("&lt;img src=x id=injected&gt;&amp;Co"), std::string::npos) << text;
    EXPECT_EQ(text.find("id=\"injected\""), std::string::npos) << text;
    EXPECT_NE(text.find("Networked&nbsp;&nbsp;PC:"), std::string::npos) << text;

    const std::string listShot = dir.file("list.png");
    command = browser + flags + " --window-size=400,600 --screenshot=" + listShot + " " + page + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    // The frame page of an empty search: the list and nowbem.htm, both local.
    ScratchDir empty;
    plugin::writeDevicePages({}, empty.path(), true, reporter);
    empty.write("nowbem.htm", "<HTML><BODY>No print server was found.</BODY></HTML>\n");
    const std::string mainShot = dir.file("main.png");
    command = browser + flags + " --window-size=800,600 --screenshot=" + mainShot + " file://" +
              empty.file("WBEMMAIN.htm") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const std::string& shot : {listShot, mainShot}) {
        const std::string png = readAll(shot);
        ASSERT_GT(png.size(), 1000u) << shot;
        EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0) << shot;
    }
}

} // namespace
} // namespace vnk::testing
