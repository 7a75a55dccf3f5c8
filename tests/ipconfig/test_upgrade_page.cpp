// The Upgrade page driven through its widgets on the offscreen platform: what
// Browse and the Type buttons show for a firmware file, the checks before a
// transfer, and whole transfers to simulated boxes on this test's own ports.
#include "brevan_rig.h"

#include "sheet/page07.h"
#include "protocol/records.h"
#include "sim/sim_firmware.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

using namespace vnk;
using namespace vnk::testing;
using sheet::UiServices;
using namespace Qt::StringLiterals;

namespace {

using Bytes = std::vector<protocol::Byte>;

const QString Confirm = u"To upgrade the Varnotek would destroy the code currently used. "
                        u"Are you sure to continue upgrading process ?"_s;
const QString Succeeded = u"Upgrade Succeed !!!"_s;
const QString Failed = u"Upgrade Failed !!!"_s;
const QString FormatWrong = u"File Format is not correct !!!"_s;

// Images back to back, one per mask, each valid for a box with that model code.
Bytes images(std::initializer_list<std::uint16_t> masks, const std::string& digits = "15") {
    Bytes all;
    protocol::Byte seed = 0;
    for (std::uint16_t m : masks) {
        const Bytes one = sim::makeFirmwareImage(digits, m, seed++);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

sim::BoxSpec boxWith(const std::string& name, protocol::Byte lastMacByte, protocol::Byte model,
                     protocol::Byte revision) {
    sim::BoxSpec b = testBox(name, lastMacByte);
    sim::setHardware(b.record, b.mac, 0x01, protocol::record::CapTcpIp, model, 0x21, revision);
    protocol::setRecordChecksum(b.record);
    return b;
}

// Which of Type1-Type3 are shown, as "110".
QString shownTypes(sheet::Page07& page) {
    QString s;
    for (int i = 0; i < sheet::Page07::TypeCount; ++i)
        s += page.typeButton(i)->isVisibleTo(&page) ? u'1' : u'0';
    return s;
}

void clickRadio(QAbstractButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
}

// Saves a picture of a widget when VNK_SHOTS_DIR names a folder (to look at).
void saveShot(QWidget& w, const QString& name) {
    const QString dir = qEnvironmentVariable("VNK_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QCoreApplication::processEvents();
    w.grab().save(dir + u'/' + name, "PNG");
}

// Runs f once the page has shown its progress window: the question is answered
// inside the click, and the page lets events through only after its checks.
void atTransferStart(sheet::RecordingUiServices& ui, std::function<void()> f) {
    auto armed = std::make_shared<bool>(true);
    ui.onMessage = [armed, f](const sheet::RecordingUiServices::Message& m) {
        if (!*armed || m.text != Confirm)
            return;
        *armed = false;
        QTimer::singleShot(0, f);
    };
}

// A rig whose sheet shows the Upgrade page for its first box.
struct UpgradeRig {
    explicit UpgradeRig(const std::vector<sim::BoxSpec>& boxes) : rig(boxes) {}
    bool open() {
        if (!rig.started || !rig.showAndDiscover())
            return false;
        return rig.sheet().setActivePage(sheet::PageRole::Upgrade);
    }
    sheet::Page07& page() { return *rig.sheet().page07(); }
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = files.file(name);
        sim::writeFile(path, bytes);
        return path;
    }
    void browse(const std::string& path) {
        rig.ui.files.push_back(QString::fromStdString(path));
        QTest::mouseClick(page().browseButton(), Qt::LeftButton);
    }
    void upgrade(UiServices::Button answer = UiServices::Yes) {
        rig.ui.answers.push_back(answer);
        QTest::mouseClick(page().upgradeButton(), Qt::LeftButton);
    }
    // Leaves the page for the General page and comes back.
    void reactivate() {
        rig.sheet().setActivePage(sheet::PageRole::General);
        rig.sheet().setActivePage(sheet::PageRole::Upgrade);
    }
    sim::FirmwareStats boxStats(int i = 0) {
        return rig.lan.withBox(i, [](sim::SimBox& b) { return b.firmwareStats(); });
    }
    bool boxHasFirmware(int i = 0) {
        return rig.lan.withBox(i, [](sim::SimBox& b) { return b.firmwarePresent(); });
    }
    void setScript(std::vector<int> script, int i = 0) {
        rig.lan.withBox(i, [&](sim::SimBox& b) { b.firmwarePlan().script = script; });
    }

    BrevanRig rig;
    ScratchDir files;
};

} // namespace

class TestUpgradePage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void activationRefusesBoxesBelowRevision60_data();
    void activationRefusesBoxesBelowRevision60();
    void refusedPageComesBackForAnUpgradableBox();
    void browseAnalysesWholeImageFiles_data();
    void browseAnalysesWholeImageFiles();
    void typeButtonsShowTheProtocolsOfTheirImage();
    void partialImageFileIsSentUncheckedUntilNextActivation();
    void checksRejectAFileBeforeAnythingIsSent_data();
    void checksRejectAFileBeforeAnythingIsSent();
    void questionComesFirstAndNoSendsNothing();
    void boxWithoutFirmwareIsUpgradedFromTheGeneralPage();
    void boxThatStopsAskingFailsTheUpgrade();
    void fileErrorInsideTheTransferIsShownBeforeTheFailure();
    void ipxUtilityParametersGiveItsTextsAndNoUdpGate();
};

void TestUpgradePage::initTestCase() {
    QApplication::setApplicationName(u"brevan"_s);
}

void TestUpgradePage::activationRefusesBoxesBelowRevision60_data() {
    QTest::addColumn<int>("revision");
    QTest::addColumn<bool>("refused");
    QTest::newRow("0x5F") << 0x5F << true;
    QTest::newRow("0x60") << 0x60 << false;
    QTest::newRow("0x62") << 0x62 << false;
}

void TestUpgradePage::activationRefusesBoxesBelowRevision60() {
    QFETCH(int, revision);
    QFETCH(bool, refused);
    UpgradeRig r({boxWith("ALPHA", 1, 0x1A, protocol::Byte(revision))});
    QVERIFY(r.open());
    sheet::Page07& page = r.page();
    QCOMPARE(page.refused(), refused);
    QCOMPARE(page.isEnabled(), !refused);
    QCOMPARE(page.upgradeButton()->isEnabled(), !refused);
    QCOMPARE(page.browseButton()->isEnabled(), !refused);
    if (refused) {
        QCOMPARE(r.rig.ui.texts(), QStringList({u"'ALPHA' do NOT support IP upgrade!!!"_s}));
        QCOMPARE(r.rig.ui.messages.front().caption, u"brevan"_s);
        // A disabled page does nothing, whatever reaches its handlers.
        r.upgrade();
        QCOMPARE(r.rig.ui.messages.size(), 1);
        return;
    }
    QVERIFY(r.rig.ui.messages.isEmpty());
    // Model code 1A has no name of its own; the file name is upper case, the
    // current directory as it is.
    QCOMPARE(page.fileNameEdit()->text(), QDir::currentPath() + u"/FW1AIMG.BIN"_s);
    QCOMPARE(r.rig.sheet().windowTitle(), u"ALPHA"_s);
    QCOMPARE(shownTypes(page), u"000"_s);
    QVERIFY(page.protocolTextLabel()->text().isEmpty());
    QVERIFY(page.checksEnabled());
    saveShot(r.rig.sheet(), u"upgrade-activated.png"_s);
}

void TestUpgradePage::refusedPageComesBackForAnUpgradableBox() {
    sim::BoxSpec old = boxWith("OLD", 1, 0x11, 0x5F);
    sim::BoxSpec fresh = boxWith("NEW", 2, 0x11, 0x60);
    fresh.faults.delayMs = 5; // listed second
    UpgradeRig r({old, fresh});
    QVERIFY(r.open());
    QVERIFY(!r.page().isEnabled());
    r.rig.sheet().setActivePage(sheet::PageRole::General);
    QTest::keyClick(r.rig.general().serverList(), Qt::Key_Down);
    QCOMPARE(r.rig.ctx().selectedIndex, 1);
    QVERIFY(r.rig.sheet().setActivePage(sheet::PageRole::Upgrade));
    QVERIFY(r.page().isEnabled());
    QVERIFY(r.page().upgradeButton()->isEnabled());
    QCOMPARE(r.page().fileNameEdit()->text(), QDir::currentPath() + u"/QUILL.BIN"_s);
    QCOMPARE(r.rig.ui.texts(), QStringList({u"'OLD' do NOT support IP upgrade!!!"_s}));
}

void TestUpgradePage::browseAnalysesWholeImageFiles_data() {
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("text");
    const Bytes two = images({0x0009, 0x0100});
    QTest::newRow("1048576 bytes: two images")
        << two << 2 << u"110"_s
        << u"Printing Protocol Support:\n\n   TCP/IP printing\n\n   IPX printing\n\n"_s;
    QTest::newRow("1572864 bytes: three images")
        << images({0x0002, 0x0001, 0x0001}) << 3 << u"111"_s
        << u"Printing Protocol Support:\n\n   EMail printing\n\n"_s;
    QTest::newRow("524288 bytes: one image")
        << images({0x01FF}) << 1 << u"000"_s
        << u"Printing Protocol Support:\n\n   TCP/IP printing\n\n   EMail printing\n\n   NetBEUI printing\n\n"
           u"   IPX printing\n\n   SMB printing\n\n   NetWare Bindery printing\n\n   NetWare NDS printing\n\n"
           u"   Remote printing\n\n   AppleTalk printing\n\n"_s;
    QTest::newRow("2097152 bytes: four images")
        << images({0x0004, 0x0001, 0x0001, 0x0001}) << 4 << u"000"_s
        << u"Printing Protocol Support:\n\n   NetBEUI printing\n\n"_s;
    QTest::newRow("mask with only bit 12")
        << images({0x1000}) << 1 << u"000"_s << u"Printing Protocol Support:\n\n"_s;
    Bytes noMarker = images({0x0001});
    noMarker[17] = 'X';
    QTest::newRow("no marker") << noMarker << 1 << u"000"_s << QString();
}

void TestUpgradePage::browseAnalysesWholeImageFiles() {
    QFETCH(Bytes, file);
    QFETCH(int, count);
    QFETCH(QString, shown);
    QFETCH(QString, text);
    UpgradeRig r({testBox("ALPHA", 1)});
    QVERIFY(r.open());
    sheet::Page07& page = r.page();
    // A file of another size first, so that every result below is Browse's own.
    r.browse(r.write("first.bin", images({0x0100, 0x0100, 0x0100})));
    clickRadio(page.typeButton(2));
    QCOMPARE(page.typeIndex(), 2);

    const std::string path = r.write("fw.bin", file);
    r.browse(path);
    QVERIFY(r.rig.ui.messages.isEmpty());
    QCOMPARE(r.rig.ui.fileDialogCaptions, QStringList({u"Open"_s, u"Open"_s}));
    QCOMPARE(page.fileNameEdit()->text(), QString::fromStdString(path));
    QCOMPARE(page.imageCount(), count);
    QCOMPARE(shownTypes(page), shown);
    QCOMPARE(page.typeIndex(), 0);
    QCOMPARE(page.protocolTextLabel()->text(), text);
    QVERIFY(page.checksEnabled());
    if (QByteArray(QTest::currentDataTag()).startsWith("524288"))
        saveShot(r.rig.sheet(), u"upgrade-all-protocols.png"_s);

    // A cancelled dialog changes nothing.
    r.browse("");
    QCOMPARE(page.fileNameEdit()->text(), QString::fromStdString(path));
    QCOMPARE(page.protocolTextLabel()->text(), text);
    QCOMPARE(shownTypes(page), shown);
}

void TestUpgradePage::typeButtonsShowTheProtocolsOfTheirImage() {
    UpgradeRig r({testBox("ALPHA", 1)});
    QVERIFY(r.open());
    sheet::Page07& page = r.page();
    Bytes file = images({0x0001, 0x0010, 0x0020});
    file[2 * 524288 + 17] = 'X'; // image 2 has no protocol mask
    r.browse(r.write("three.bin", file));
    const QString tcpip = u"Printing Protocol Support:\n\n   TCP/IP printing\n\n"_s;
    const QString smb = u"Printing Protocol Support:\n\n   SMB printing\n\n"_s;
    QCOMPARE(page.protocolTextLabel()->text(), tcpip);

    clickRadio(page.typeButton(1));
    QCOMPARE(page.typeIndex(), 1);
    QCOMPARE(page.protocolTextLabel()->text(), smb);
    clickRadio(page.typeButton(2));
    QCOMPARE(page.typeIndex(), 2);
    QCOMPARE(page.protocolTextLabel()->text(), smb); // no marker: the text stays
    clickRadio(page.typeButton(0));
    QCOMPARE(page.protocolTextLabel()->text(), tcpip);
    clickRadio(page.typeButton(1));
    saveShot(r.rig.sheet(), u"upgrade-three-images.png"_s);

    // A file that is gone by the time a Type button is clicked.
    std::filesystem::remove(r.files.file("three.bin"));
    clickRadio(page.typeButton(0));
    QCOMPARE(r.rig.ui.texts(), QStringList({u"File not found"_s}));
    QCOMPARE(page.protocolTextLabel()->text(), smb);

    // Leaving the page and coming back starts afresh.
    r.reactivate();
    QCOMPARE(shownTypes(page), u"000"_s);
    QCOMPARE(page.typeIndex(), 0);
    QVERIFY(page.protocolTextLabel()->text().isEmpty());
    QCOMPARE(page.fileNameEdit()->text(), QDir::currentPath() + u"/GANNET5.BIN"_s);
}

void TestUpgradePage::partialImageFileIsSentUncheckedUntilNextActivation() {
    UpgradeRig r({testBox("ALPHA", 1)});
    QVERIFY(r.open());
    sheet::Page07& page = r.page();
    Bytes shortFile = images({0x0001}, "99"); // not this box's model code
    shortFile.resize(448 * 1024 + 1000);       // the blocks a box asks for, and a part of one more
    r.browse(r.write("two.bin", images({0x0001, 0x0002})));
    QCOMPARE(shownTypes(page), u"110"_s);
    const std::string shortPath = r.write("short.bin", shortFile);
    r.browse(shortPath);
    QVERIFY(!page.checksEnabled());
    QCOMPARE(page.imageCount(), 0);
    QCOMPARE(shownTypes(page), u"000"_s);
    // Its first image's protocols are still shown, as the file was analysed.
    QCOMPARE(page.protocolTextLabel()->text(), u"Printing Protocol Support:\n\n   TCP/IP printing\n\n"_s);

    // While the checks are off, Browse only takes the name.
    const std::string good = r.write("good.bin", images({0x0001}));
    r.browse(good);
    QCOMPARE(page.fileNameEdit()->text(), QString::fromStdString(good));
    QVERIFY(page.protocolTextLabel()->text().isEmpty());
    QCOMPARE(page.imageCount(), 0);

    // A file too short for the blocks a box asks for, or a pipe, is refused and
    // nothing is sent, checks or no checks.
    const std::string pipe = r.files.file("pipe.bin");
    QCOMPARE(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& path : {r.write("tiny.bin", Bytes(100, 0x55)), pipe}) {
        r.browse(path);
        r.rig.ui.messages.clear();
        r.upgrade();
        QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, FormatWrong}));
    }
    QCOMPARE(r.boxStats().handshakes, 0);

    // The partial file goes out as image 0 without a look at vendor or model;
    // the box asks past its end and the transfer fails.
    r.setScript({1, 2, 450});
    r.browse(shortPath);
    r.rig.ui.messages.clear();
    r.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, Failed}));
    QCOMPARE(page.lastResult().end, protocol::UpgradeEnd::BlockOutOfReach);
    QCOMPARE(page.lastResult().blocksSent, 2);
    const Bytes firstBlock = r.rig.lan.withBox(0, [](sim::SimBox& b) {
        const auto& image = b.firmwareReceiver().image();
        return Bytes(image.begin(), image.begin() + 1024);
    });
    QVERIFY(std::equal(firstBlock.begin(), firstBlock.end(), shortFile.begin()));

    // A whole image with another vendor is sent unchecked as well.
    Bytes foreign = images({0x0001});
    std::memcpy(&foreign[6], "Qwerty", 6);
    r.browse(r.write("foreign.bin", foreign));
    r.setScript({1, 2});
    r.rig.ui.messages.clear();
    r.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, Succeeded}));

    // The next activation checks again.
    r.reactivate();
    QVERIFY(page.checksEnabled());
    r.browse(r.files.file("foreign.bin"));
    QCOMPARE(page.protocolTextLabel()->text(), u"Printing Protocol Support:\n\n   TCP/IP printing\n\n"_s);
    const int handshakes = r.boxStats().handshakes;
    r.rig.ui.messages.clear();
    r.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, FormatWrong}));
    QCOMPARE(r.boxStats().handshakes, handshakes);
}

void TestUpgradePage::checksRejectAFileBeforeAnythingIsSent_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("message");
    Bytes secondWrong = images({0x0001, 0x0001});
    std::memcpy(&secondWrong[524288 + 6], "Torvic", 6);
    QTest::newRow("wrong vendor in the selected image only") << 0x15 << secondWrong << 1 << false << FormatWrong;
    Bytes secondModel = images({0x0001, 0x0001});
    secondModel[524288 + 15] = '6';
    QTest::newRow("wrong model code in the selected image only") << 0x15 << secondModel << 1 << false << FormatWrong;
    QTest::newRow("lower-case model code") << 0x1A << images({0x0001}, "1a") << 0 << false << FormatWrong;
    QTest::newRow("file gone") << 0x15 << images({0x0001}) << 0 << true << u"File not found"_s;
}

void TestUpgradePage::checksRejectAFileBeforeAnythingIsSent() {
    QFETCH(int, model);
    QFETCH(Bytes, file);
    QFETCH(int, type);
    QFETCH(bool, removed);
    QFETCH(QString, message);
    UpgradeRig r({boxWith("ALPHA", 1, protocol::Byte(model), 0x62)});
    QVERIFY(r.open());
    const std::string path = r.write("fw.bin", file);
    r.browse(path);
    if (type > 0)
        clickRadio(r.page().typeButton(type));
    QCOMPARE(r.page().typeIndex(), type);
    if (removed)
        std::filesystem::remove(path);
    const int waits = r.rig.ui.waitsBegun();
    r.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, message}));
    QCOMPARE(r.rig.ui.messages.back().icon, UiServices::Icon::Warning);
    QCOMPARE(r.boxStats().handshakes, 0);
    QCOMPARE(r.rig.ui.waitsBegun(), waits);
    QVERIFY(r.boxHasFirmware());
}

void TestUpgradePage::questionComesFirstAndNoSendsNothing() {
    UpgradeRig r({testBox("ALPHA", 1)});
    QVERIFY(r.open());
    r.browse(r.write("fw.bin", images({0x0001})));
    const int waits = r.rig.ui.waitsBegun();
    r.upgrade(UiServices::No);
    QCOMPARE(r.rig.ui.messages.size(), 1);
    const auto& question = r.rig.ui.messages.front();
    QCOMPARE(question.text, Confirm);
    QCOMPARE(question.caption, u"brevan"_s);
    QCOMPARE(question.icon, UiServices::Icon::Question);
    QCOMPARE(question.buttons, UiServices::Buttons(UiServices::Yes | UiServices::No));
    QCOMPARE(r.boxStats().handshakes, 0);
    QCOMPARE(r.rig.ui.waitsBegun(), waits);

    // The name is looked at only after a Yes.
    r.page().fileNameEdit()->clear();
    r.rig.ui.messages.clear();
    r.upgrade(UiServices::No);
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm}));
    r.upgrade(UiServices::Yes);
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, Confirm, u"Please enter Varnotek upgrade file first"_s}));
    QCOMPARE(r.boxStats().handshakes, 0);
}

void TestUpgradePage::boxWithoutFirmwareIsUpgradedFromTheGeneralPage() {
    sim::BoxSpec bare = testBox("BRAVO", 2);
    bare.mac = {0x00, 0x00, 0xB4, 0x12, 0x33, 0x44}; // block 448 takes this address
    sim::setHardware(bare.record, bare.mac, 0x01, protocol::record::CapTcpIp, 0x15, 0x21, 0x62);
    protocol::setRecordChecksum(bare.record);
    bare.firmwarePresent = false;
    UpgradeRig r({bare});
    QVERIFY(r.rig.started);
    QVERIFY(r.rig.showAndDiscover());

    // Selecting the box lands on the Upgrade page, ready to go.
    QCOMPARE(r.rig.ui.texts(), QStringList({u"'BRAVO' upgraded fail once"_s}));
    sheet::Page07& page = r.page();
    QCOMPARE(r.rig.sheet().activePage(), static_cast<sheet::PropertyPage*>(&page));
    QVERIFY(page.isEnabled());
    QCOMPARE(r.rig.sheet().windowTitle(), u"BRAVO"_s);
    QCOMPARE(page.fileNameEdit()->text(), QDir::currentPath() + u"/GANNET5.BIN"_s);
    QCOMPARE(r.rig.probe->statusReads, 0);
    protocol::ServerEntry& entry = *r.rig.ctx().selectedEntry();
    QVERIFY(!protocol::firmwarePresent(entry.identity));

    const Bytes file = images({0x0001});
    r.browse(r.write("GANNET5.BIN", file));

    // While the transfer runs: the progress window is up under the wait cursor.
    // The buffers are emptied then, to see that they are read again afterwards.
    QPointer<sheet::UpgradeProgressWindow> progress;
    QStringList lines;
    bool visible = false;
    int waitDepth = -1;
    int lastBlocks = -1;
    atTransferStart(r.rig.ui, [&] {
        progress = page.progressWindow();
        if (!progress)
            return;
        visible = progress->isVisible();
        lines = progress->lines();
        waitDepth = r.rig.ui.waitDepth();
        connect(progress->bar(), &QProgressBar::valueChanged, [&](int v) { lastBlocks = v; });
        saveShot(*progress, u"upgrade-progress.png"_s);
        r.rig.ctx().configBuffer.fill(0);
        r.rig.ctx().statusBuffer.fill(0);
    });
    r.upgrade();
    QVERIFY(visible);
    QCOMPARE(lines, QStringList({u"Upgrade in progress. This may take"_s, u"a few minutes, please wait..."_s}));
    QCOMPARE(waitDepth, 1);
    QCOMPARE(lastBlocks, 448);
    QVERIFY(progress.isNull()); // gone with the transfer
    QVERIFY(page.progressWindow() == nullptr);
    QCOMPARE(r.rig.ui.waitDepth(), 0);

    QCOMPARE(r.rig.ui.texts(), QStringList({u"'BRAVO' upgraded fail once"_s, Confirm, Succeeded}));
    QCOMPARE(r.rig.ui.messages.back().icon, UiServices::Icon::Warning);
    QCOMPARE(page.lastResult().end, protocol::UpgradeEnd::Completed);
    QCOMPARE(page.lastResult().blocksSent, 448);
    const sim::FirmwareStats stats = r.boxStats();
    QCOMPARE(stats.transfersCompleted, 1);
    QCOMPARE(stats.verifyFailures, 0);
    QCOMPARE(stats.handshakes, 1);
    QVERIFY(r.boxHasFirmware());
    // Block 448 carried the record's address, the file on disk did not change.
    const Bytes block448 = r.rig.lan.withBox(0, [](sim::SimBox& b) {
        const auto& image = b.firmwareReceiver().image();
        return Bytes(image.begin() + 447 * 1024, image.begin() + 448 * 1024);
    });
    QVERIFY(std::equal(bare.mac.begin(), bare.mac.end(), block448.begin() + 1016));
    QVERIFY(sim::blockChecks(block448));

    // The entry knows the box has firmware; record and status were read anew.
    QVERIFY(protocol::firmwarePresent(entry.identity));
    const auto stored = r.rig.lan.withBox(0, [](sim::SimBox& b) { return b.storedRecord(); });
    const auto rec = protocol::recordOf(r.rig.ctx().configBuffer);
    QVERIFY(std::equal(rec.begin(), rec.end(), stored.begin()));
    QCOMPARE(r.rig.ctx().statusBuffer[7], protocol::CmdStatus);
    QCOMPARE(r.rig.probe->statusReads, 1);

    // The General page shows the box as an ordinary one now.
    QVERIFY(r.rig.sheet().setActivePage(sheet::PageRole::General));
    QVERIFY(!r.rig.general().modelLineEdit()->text().isEmpty());
    QCOMPARE(r.rig.ui.messages.size(), 3);
}

void TestUpgradePage::boxThatStopsAskingFailsTheUpgrade() {
    sim::BoxSpec box = testBox("ALPHA", 1);
    box.faults.firmwareStopAfter = 5;
    UpgradeRig r({box});
    QVERIFY(r.open());
    platform::Timing t = platform::Timing::fast();
    t.blockRequestWait = std::chrono::milliseconds(300);
    r.rig.ctx().setTiming(t);
    r.browse(r.write("fw.bin", images({0x0001})));
    const int statusReads = r.rig.probe->statusReads;
    r.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, Failed}));
    QCOMPARE(r.page().lastResult().end, protocol::UpgradeEnd::NoRequest);
    QCOMPARE(r.page().lastResult().blocksSent, 5);
    QCOMPARE(r.rig.probe->statusReads, statusReads);
    QVERIFY(!r.boxHasFirmware());
    QVERIFY(r.page().progressWindow() == nullptr);
    QCOMPARE(r.rig.ui.waitDepth(), 0);
}

void TestUpgradePage::fileErrorInsideTheTransferIsShownBeforeTheFailure() {
    UpgradeRig r({testBox("ALPHA", 1)});
    QVERIFY(r.open());
    const std::string path = r.write("fw.bin", images({0x0001}));
    r.browse(path);
    // The file passes the checks and is gone when the transfer opens it.
    atTransferStart(r.rig.ui, [&] { std::filesystem::remove(path); });
    r.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({Confirm, u"File not found"_s, Failed}));
    QCOMPARE(r.page().lastResult().end, protocol::UpgradeEnd::FileError);
}

// The IPX utility will build the same page with its own parameters: its texts,
// the information icon on success, and no refusal by revision byte.
void TestUpgradePage::ipxUtilityParametersGiveItsTextsAndNoUdpGate() {
    UpgradeRig r({boxWith("ALPHA", 1, 0x15, 0x5F)});
    QVERIFY(r.rig.started);
    QVERIFY(r.rig.showAndDiscover());
    sheet::PageParameters hollin;
    hollin.udpUpgradeGate = false;
    hollin.texts.upgradeButton = u"軔體更新"_s;
    hollin.texts.upgradeTexts = &protocol::ChineseUpgradeTexts;
    hollin.texts.protocolTexts = &protocol::ChineseProtocolTexts;
    hollin.texts.upgradeSucceededInformation = true;
    sheet::Page07 page(r.rig.ctx(), r.rig.ui, hollin);
    page.onInitDialog();
    page.onSetActive();
    QVERIFY(!page.refused());
    QVERIFY(page.isEnabled());
    QCOMPARE(page.upgradeButton()->text(), u"軔體更新"_s);

    r.rig.ui.files.push_back(QString::fromStdString(r.write("fw.bin", images({0x0011}))));
    page.browse();
    QCOMPARE(page.protocolTextLabel()->text(), u"列印通訊協定支援:\n\n   TCP/IP 列印\n\n   SMB 列印\n\n"_s);
    r.setScript({1, 2});
    r.rig.ui.answers = {UiServices::Yes};
    page.upgrade();
    QCOMPARE(r.rig.ui.texts(), QStringList({u"進行軔體更新會先清除原有之軔體, 確定要繼續?"_s, u"軔體更新完成"_s}));
    QCOMPARE(r.rig.ui.messages.back().icon, UiServices::Icon::Information);

    page.fileNameEdit()->clear();
    r.rig.ui.messages.clear();
    r.rig.ui.answers = {UiServices::Yes};
    page.upgrade();
    QCOMPARE(r.rig.ui.texts().last(), u"請先輸入檔案名稱"_s);
}

QTEST_MAIN(TestUpgradePage)
#include "test_upgrade_page.moc"
