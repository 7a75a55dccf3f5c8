// bot-shots: renders the setup wizard's four pages, as a user sees them, to PNG
// files without a display. The wizard searches the demo LAN of simulated boxes
// (started in this process on free loopback ports) over UDP, picks the first
// box, proposes an address on page 3 and shows the summary.
#include "platform/hostinfo.h"
#include "sheet/recording_ui_services.h"
#include "sim/sim_lan.h"
#include "wizard/cmy_property_sheet.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    using namespace vnk;
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fputs("usage: bot-shots DIR\nRenders the setup wizard's four pages to DIR/page1.png ... page4.png.\n",
                    argc == 2 ? stdout : stderr);
        return argc == 2 ? 0 : 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "bot-shots: cannot make %s\n", argv[1]);
        return 1;
    }

    sim::SimLan lan;
    for (const sim::BoxSpec& b : sim::demoLan())
        lan.addBox(b);
    std::string error;
    if (!lan.start(&error)) {
        std::fprintf(stderr, "bot-shots: cannot start the demo LAN: %s\n", error.c_str());
        return 1;
    }
    const platform::Timing timing = platform::Timing::fast();
    auto udp = wizard::makeUdpLink(lan.endpoint(), timing);
    wizard::WizardNetwork net;
    net.installed.tcpIp = true;
    net.udp = udp.get();
    sheet::RecordingUiServices ui;
    // A PC on the demo boxes' network, so page 3 proposes an address there.
    const platform::FixedHostInfo host({{"192.168.1.10", "255.255.255.0", false, "eth0"}});
    const QString state = QDir(dir).filePath(QStringLiteral(".state"));
    wizard::WizardContext ctx{wizard::serverTable(), net, ui, host, state.toStdString()};
    wizard::CMyPropertySheet sheet(ctx, "Varnotek Port");
    sheet.show();
    int written = 0;
    for (int page = 1; page <= 4; ++page) {
        QApplication::processEvents();
        const QString file = QDir(dir).filePath(QStringLiteral("page%1.png").arg(page));
        if (!sheet.grab().save(file)) {
            std::fprintf(stderr, "bot-shots: cannot write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
        ++written;
        std::printf("%s\n", file.toLocal8Bit().constData());
        if (page < 4)
            sheet.next();
    }
    QDir(state).removeRecursively();
    return written == 4 ? 0 : 1;
}
