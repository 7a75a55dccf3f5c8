// The list page and the frame page, byte for byte.
#include "plugin/core/admin.h"
#include "support/sim_helpers.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace vnk;
using namespace vnk::plugin;

namespace {

DeviceEntry device(const std::string& name, std::uint8_t type, std::uint32_t ip) {
    DeviceEntry e;
    std::memcpy(e.identity.data() + protocol::identity::ServerName, name.data(),
                std::min(name.size(), protocol::identity::ServerNameWidth));
    e.identity[protocol::identity::DeviceType] = type;
    e.identity[protocol::identity::Features] = 0x01;
    e.from.sin_family = AF_INET;
    e.from.sin_addr.s_addr = htonl(ip);
    return e;
}

std::string contents(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

const char* const ListHead =
    "<HTML>\n<HEAD>\n<TITLE>WBEM List</TITLE>\n</HEAD>\n"
    "<BODY TEXT=\"#FFFFFF\" BGCOLOR=\"#ffffff\" LINK=\"#0000EE\" VLINK=\"#551A8B\" ALINK=\"#FF0000\" "
    "BACKGROUND=\"backgrd.jpg\">\n"
    "<BR><BR>\n"
    "<CENTER><IMG SRC=\"logo.gif\" BORDER=0 HEIGHT=32 WIDTH=100></A></CENTER>\n <BR>\n"
    "<CENTER><TABLE BORDER=0  WIDTH=200 >\n"
    "<TR><TD ALIGN=LEFT WIDTH=200>\n"
    "&nbsp;&nbsp; <B><I><FONT COLOR=\"#3366FF\"><A HREF=\"magic.htm\" TARGET=\"body\">Magic Packet</A></FONT></I></B>\n"
    "</TD></TR>\n"
    "<TR><TD ALIGN=LEFT WIDTH=200>\n"
    "&nbsp;&nbsp; <B><I><FONT COLOR=\"#3366FF\"><A HREF=\"wbem.htm\" TARGET=\"_top\">Refresh</A></FONT></I></B>\n"
    "</TD></TR>\n </TABLE></CENTER>\n<BR><CENTER><TABLE BORDER=0  HEIGHT=\"20%\" >\n";
const char* const ListTail = "</TABLE>\n</CENTER>\n<P>\n</BODY>\n</HTML>\n";
const char* const FrameHead =
    "<html>\n<head>\n<title>Administrator</title>\n</head>\n<frameset COLS=\"16%,*\">\n"
    "<frame NAME=\"navigator\" SRC=\"WBEMLIST.htm\" SCROLLING=\"AUTO\" MARGINWIDTH=\"2\" MARGINMEIGHT=\"4\">\n";

class DevicePagesTest : public ::testing::Test {
protected:
    std::string list() { return contents(m_dir.file("WBEMLIST.htm")); }
    std::string frames() { return contents(m_dir.file("WBEMMAIN.htm")); }
    void write(const std::vector<DeviceEntry>& devices, bool keyOpened = true) {
        writeDevicePages(devices, m_dir.path(), keyOpened, m_reporter);
    }
    vnk::testing::RecordingReporter m_reporter;
    vnk::testing::ScratchDir m_dir;
};

} // namespace

TEST_F(DevicePagesTest, PagesListPrintServersThenPcsAndShowTheFirstPrintServer) {
    write({device("DESK", 1, 0x0A000009), device("QUILL-3P2S", 0, 0xC0A80105)});
    EXPECT_EQ(list(),
              std::string(ListHead) +
                  "<TR ALIGN=LEFT><TD>\n"
                  "<B><I><FONT COLOR=\"#000000\" SIZE=+1>Print&nbsp;&nbsp;Server:</FONT></I></B></CENTER>\n"
                  "</TD></TR>"
                  "<TR>\n<TD><A HREF=\"http://192.168.1.5\"TARGET=\"body\"><IMG SRC=\"flashball.gif\""
                  "BORDER=0 HEIGHT=14 WIDTH=14 ALIGN=LEFT></A>\n"
                  "<FONT COLOR=\"#0000FF\"><FONT SIZE=+1><A HREF=\"HTTP://192.168.1.5\" TARGET=\"body\">QUILL-3P2S"
                  "</FONT></FONT></TD>\n</TR>\n"
                  "<TR><TD><BR><BR></TD></TR>\n"
                  "<TR ALIGN=LEFT><TD>\n"
                  "<B><I><FONT COLOR=\"#000000\" SIZE=+1>Networked&nbsp;&nbsp;PC:</FONT></I></B></CENTER>\n"
                  "</TD></TR>"
                  "<TR>\n<TD><A HREF=\"http://10.0.0.9\"TARGET=\"body\"><IMG SRC=\"flashball.gif\""
                  "BORDER=0 HEIGHT=14 WIDTH=14 ALIGN=LEFT></A>\n"
                  "<FONT COLOR=\"#0000FF\"><FONT SIZE=+1><A HREF=\"HTTP://10.0.0.9\" TARGET=\"body\">DESK"
                  "</FONT></FONT></TD>\n</TR>\n" +
                  ListTail);
    EXPECT_EQ(frames(), std::string(FrameHead) +
                            "<frame NAME=\"body\" SRC=\"http://192.168.1.5\" SCROLLING=\"AUTO\">\n"
                            "</frameset>\n</html>\n");
    EXPECT_TRUE(m_reporter.messages.empty());

    // Only PCs: the body shows the first PC.
    write({device("DESK", 1, 0x0A000009)});
    EXPECT_EQ(list().find("Server:"), std::string::npos);
    EXPECT_NE(frames().find("SRC=\"http://10.0.0.9\""), std::string::npos);
}

TEST_F(DevicePagesTest, HeadingFollowsTheVendorOfConfigIni) {
    const std::pair<const char*, const char*> cases[] = {{"1", ">Varnotek:<"},
                                                         {"2", ">PrintServer:<"},
                                                         {"7", ">Print&nbsp;&nbsp;Server:<"}};
    for (auto [vendor, heading] : cases) {
        m_dir.write("Config.ini", std::string("[General Information]\nVendorID=") + vendor + "\n");
        write({device("QUILL", 0, 0x0A000005)});
        EXPECT_NE(list().find(heading), std::string::npos) << vendor;
    }
}

TEST_F(DevicePagesTest, NamesFromTheNetworkAreTextInThePage) {
    // A name that fills its field has no NUL: it ends with the field.
    DeviceEntry full = device(std::string(46, 'N'), 0, 0x0A000006);
    full.identity[protocol::identity::UpgradeState] = 'U';
    write({device("<b onclick='x()'>A&B \"C\"</b>", 0, 0x0A000005), full});
    const std::string page = list();
    EXPECT_NE(page.find(">&lt;b onclick=&#39;x()&#39;&gt;A&amp;B &quot;C&quot;&lt;/b&gt;</FONT>"), std::string::npos)
        << page;
    EXPECT_EQ(page.find("<b "), std::string::npos);
    EXPECT_NE(page.find(">" + std::string(46, 'N') + "</FONT>"), std::string::npos);
}

TEST_F(DevicePagesTest, NamesOutsideAsciiAreCharacterReferencesOfTheirText) {
    // Windows-1252 bytes, and UTF-8 up to a character outside the BMP.
    write({device("CAF\xC9-\x80", 0, 0x0A000005), device("Caf\xC3\xA9 \xE5\x8D\xB0\xF0\x9F\x96\xA8", 0, 0x0A000006)});
    const std::string page = list();
    EXPECT_NE(page.find(">CAF&#201;-&#8364;</FONT>"), std::string::npos) << page;
    EXPECT_NE(page.find(">Caf&#233; &#21360;&#128424;</FONT>"), std::string::npos) << page;
}

TEST_F(DevicePagesTest, EmptyListShowsNowbemAndFailuresAreReported) {
    // A type the filter may let in but no heading names: shown in the body only.
    write({device("ODD", 2, 0x0A000007)});
    EXPECT_EQ(list(), std::string(ListHead) + ListTail);
    EXPECT_NE(frames().find("SRC=\"http://10.0.0.7\""), std::string::npos);

    write({}, false);
    EXPECT_EQ(list(), std::string(ListHead) + ListTail);
    EXPECT_EQ(frames(), std::string(FrameHead) +
                            "<frame NAME=\"body\" SRC=\"nowbem.htm\" SCROLLING=\"AUTO\">\n</frameset>\n</html>\n");
    EXPECT_EQ(m_reporter.messages, (std::vector<std::string>{" Open Key fail"}));

    // Without the list page there is no frame page either.
    m_reporter.messages.clear();
    writeDevicePages({}, m_dir.file("missing"), true, m_reporter);
    EXPECT_EQ(m_reporter.messages, (std::vector<std::string>{"Can not create WBEMLIST.HTM!\n"}));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("missing/WBEMMAIN.htm")));
    std::filesystem::create_directory(m_dir.file("frames"));
    std::filesystem::create_directory(m_dir.file("frames/WBEMMAIN.htm")); // cannot be a file
    writeDevicePages({}, m_dir.file("frames"), true, m_reporter);
    EXPECT_EQ(m_reporter.messages.back(), "Can not create WBEMMAIN.HTM!\n");
}

TEST(AdministrationDirectory, IsTheRegistrysPathElseTheCurrentDirectory) {
    vnk::testing::ScratchDir state;
    bool found = true, opened = true;
    const std::string here = std::filesystem::current_path().string();
    EXPECT_EQ(administrationDirectory(&found, &opened, state.path()), here);
    EXPECT_FALSE(found);
    EXPECT_FALSE(opened);
    // The key without its value: opened, but no directory.
    ASSERT_TRUE(platform::setRegistryValue(AdministratorKey, "MAC", "0000B400A5F6", state.path()));
    EXPECT_EQ(administrationDirectory(&found, &opened, state.path()), here);
    EXPECT_FALSE(found);
    EXPECT_TRUE(opened);
    ASSERT_TRUE(platform::setRegistryValue(AdministratorKey, "Path", "/srv/admin", state.path()));
    EXPECT_EQ(administrationDirectory(&found, &opened, state.path()), "/srv/admin");
    EXPECT_TRUE(found);
}
