// npkova-host: how it reads a page, and the administration page wbem.htm run
// with it against a simulated LAN: the plug-in searches, writes the list pages
// into the administration directory and sends the host on to the frame page.
#include "plugin/core/admin.h"
#include "plugin/host/link_following.h"
#include "plugin/host/page_reading.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace vnk::testing {
namespace {

using namespace plugin::host;

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(NpkovaHostPage, EmbedsAreReadWithTheirAttributesAsGiven) {
    const std::string page = "<html><!-- <embed type=\"Varnotek/x-vnk\" commented> -->\n"
                             "<EMBED TYPE=\"Varnotek/x-vnk\" MagicPacket='TRUE' width=220 height = 60 hidden>\n"
                             "<embedded type=x><p>text</p><Embed src=a.vnk />\n"
                             "<embed type=\"Varnotek/x-vnk\" batch=\"true";
    const auto tags = findTags(page, "embed");
    ASSERT_EQ(tags.size(), 2u); // the comment, <embedded> and the unclosed last one are not embeds
    const auto& a = tags[0].attributes;
    ASSERT_EQ(a.size(), 5u);
    EXPECT_EQ(a[0], (std::pair<std::string, std::string>("TYPE", "Varnotek/x-vnk")));
    EXPECT_EQ(a[1], (std::pair<std::string, std::string>("MagicPacket", "TRUE")));
    EXPECT_EQ(a[3], (std::pair<std::string, std::string>("height", "60")));
    EXPECT_EQ(a[4], (std::pair<std::string, std::string>("hidden", "")));
    EXPECT_EQ(tags[0].attribute("WIDTH"), "220");
    EXPECT_EQ(tags[1].attribute("src"), "a.vnk");
    EXPECT_FALSE(tags[1].attribute("type"));

    // Bounds: a tag longer than its limit is skipped, attributes past theirs dropped.
    std::string many = "<embed";
    for (std::size_t i = 0; i < MaxAttributes + 5; ++i)
        many += " a" + std::to_string(i) + "=1";
    EXPECT_EQ(findTags(many + ">", "embed").at(0).attributes.size(), MaxAttributes);
    EXPECT_TRUE(findTags("<embed x=\"" + std::string(MaxTagLength, 'y') + "\">", "embed").empty());

    EXPECT_EQ(mimeTypes("Varnotek/x-vnk:vnk:Varnotek  (*.vnk)"), std::vector<std::string>{"Varnotek/x-vnk"});
    EXPECT_EQ(mimeTypes("a/b:x:X;c/d::"), (std::vector<std::string>{"a/b", "c/d"}));
}

TEST(NpkovaHostPage, ARelativeUrlFindsAFileThatDiffersOnlyInCase) {
    ScratchDir dir;
    dir.write("WBEMMAIN.htm", "x");
    EXPECT_EQ(resolveLocal(dir.path(), "wbemmain.htm"), dir.file("WBEMMAIN.htm"));
    EXPECT_EQ(resolveLocal(dir.path(), "WBEMMAIN.htm#top"), dir.file("WBEMMAIN.htm"));
    EXPECT_EQ(resolveLocal(dir.path(), "missing.htm"), dir.file("missing.htm"));
    EXPECT_FALSE(resolveLocal(dir.path(), "http://127.0.0.1"));
    EXPECT_FALSE(resolveLocal(dir.path(), "/etc/passwd"));
}

TEST(NpkovaHostLinks, ClickedLinksToPagesOfTheFolderAreFollowedAndNoOthers) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "test_npkova_host", *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ScratchDir admin;
    RecordingReporter reporter;
    plugin::writeDevicePages({}, admin.path(), true, reporter);
    QTextBrowser view; // as the host sets it up: it opens no link itself
    view.setOpenLinks(false);
    view.show();
    // The URL the view hands to anchorClicked when the user clicks the link that reads text.
    const auto clicked = [&](const std::string& page, const char* text) {
        view.setSource(QUrl::fromLocalFile(QString::fromStdString(page)));
        QTextCursor at(view.document());
        at.setPosition(view.document()->find(QString::fromLatin1(text)).selectionStart() + 1);
        QSignalSpy spy(&view, &QTextBrowser::anchorClicked);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(at).center() + QPoint(2, 0));
        return spy.size() == 1 ? spy[0][0].toUrl() : QUrl();
    };
    const std::string list = admin.file("WBEMLIST.htm"), pages = ADMIN_PAGES;
    EXPECT_EQ(pageOfFolder(admin.path(), clicked(list, "Magic Packet")), admin.file("magic.htm"));
    EXPECT_EQ(pageOfFolder(admin.path(), clicked(list, "Refresh")), admin.file("wbem.htm"));
    EXPECT_EQ(pageOfFolder(pages, clicked(pages + "/magic.htm", "Wake every PC")), pages + "/batch.htm");
    // A box's own page, and a page out of the folder, are not the host's to open.
    EXPECT_EQ(pageOfFolder(admin.path(), QUrl(QStringLiteral("HTTP://127.0.0.1"))), std::nullopt);
    EXPECT_EQ(pageOfFolder(admin.path(), QUrl(QStringLiteral("../wbem.htm"))), std::nullopt);
}

struct HostRun {
    int status = -1;
    std::string output;
};

HostRun host(const std::string& folder, const std::string& environment, const std::string& arguments) {
    const std::string out = folder + "/host.out";
    const std::string command = "cd '" + folder + "' && env " + environment + " " + NPKOVA_HOST + " " +
                                arguments + " >'" + out + "' 2>&1";
    const int raw = std::system(command.c_str());
    HostRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.output = fileText(out);
    return r;
}

TEST(NpkovaHost, WbemPageListsTheBoxesAndFollowsTheFramePage) {
    sim::SimLan lan;
    sim::BoxSpec quill = testBox("QUILL", 0x41);
    quill.features65 = 0x01;
    sim::BoxSpec hidden = testBox("HIDDEN", 0x42);
    hidden.features65 = 0x02; // does not ask to be listed
    lan.addBox(quill);
    lan.addBox(hidden);
    std::string error;
    ASSERT_TRUE(lan.start(&error)) << error;

    ScratchDir admin, state;
    for (const auto& f : std::filesystem::directory_iterator(ADMIN_PAGES))
        std::filesystem::copy_file(f.path(), admin.file(f.path().filename().string()));
    const std::string environment = "QT_QPA_PLATFORM=offscreen VNK_BROADCAST=127.255.255.255 VNK_PORT=" +
                                    std::to_string(lan.commandPort()) + " VNK_STATE_DIR=" + state.path();
    const HostRun r = host(admin.path(), environment, "--quit-when-done wbem.htm");
    EXPECT_EQ(r.status, 0) << r.output;
    // No registry key: the administration directory is the current one, which is said first.
    EXPECT_NE(r.output.find("npkova-host: message: npkova:  Open Key fail\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("npkova-host: _parent -> " + admin.file("WBEMMAIN.htm") + "\n"), std::string::npos)
        << r.output;

    const std::string list = fileText(admin.file("WBEMLIST.htm"));
    EXPECT_NE(list.find("<A HREF=\"HTTP://127.0.0.1\" TARGET=\"body\">QUILL</FONT>"), std::string::npos) << list;
    EXPECT_EQ(list.find("HIDDEN"), std::string::npos);
    EXPECT_NE(fileText(admin.file("WBEMMAIN.htm")).find("SRC=\"http://127.0.0.1\""), std::string::npos);

    // Without a display it says so and does nothing.
    const HostRun headless = host(admin.path(), "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM", "wbem.htm");
    EXPECT_EQ(headless.status, 2);
    EXPECT_NE(headless.output.find("no display"), std::string::npos) << headless.output;
}

} // namespace
} // namespace vnk::testing
