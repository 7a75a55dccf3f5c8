// The IPX utility's objects as the program builds them, against a simulated LAN
// whose boxes (and, when given, NetWare file server) speak IPX on a free
// loopback carrier port, with a recording UiServices. Each test builds its own rig.
#pragma once

#include "ipxconfig/hollin_program.h"
#include "sheet/page00.h"
#include "sheet/recording_ui_services.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vnk::testing {

class HollinRig {
public:
    // configIni: the Config.ini beside the program ("" = no such file).
    explicit HollinRig(const std::vector<sim::BoxSpec>& boxes,
                       const std::optional<sim::FileServerSpec>& fileServer = std::nullopt,
                       const std::string& configIni = {})
        : lan(lanOptions()) {
        if (!configIni.empty())
            dir.write("Config.ini", configIni);
        for (const sim::BoxSpec& b : boxes)
            lan.addBox(b);
        if (fileServer)
            lan.addFileServer(*fileServer);
        started = lan.start(&error);
        segment.broadcast = "127.255.255.255";
        segment.carrierPort = lan.ipxPort();
        segment.localNode = {0x02, 0x00, 0x00, 0x00, 0x00, 0x51};
        program = std::make_unique<ipxconfig::HollinProgram>(dir.path(), lan.endpoint(), segment,
                                                              platform::Timing::fast(), ui);
    }
    ~HollinRig() { program.reset(); }

    ipxconfig::CPellamDlg& sheet() { return program->sheet(); }
    sheet::Page00& general() { return *sheet().page00(); }
    protocol::CPServerContext& ctx() { return program->context(); }
    ipx::IpxServerContext& ipxCtx() { return program->ipxContext(); }

    // Shows the sheet and waits for the discovery that follows by itself.
    bool showAndDiscover() {
        QSignalSpy done(&general(), &sheet::Page00::refreshFinished);
        sheet().show();
        return done.wait(20000);
    }
    // Selects the listed box of this name, as a click in the list does.
    bool select(const QString& name) {
        const int i = listed().indexOf(name);
        if (i < 0)
            return false;
        general().serverList()->setCurrentIndex(i);
        return ctx().selectedIndex >= 0;
    }
    // Makes a page current, as a click on its tab does.
    bool open(sheet::PropertyPage* page) { return sheet().setActivePage(page); }

    QStringList listed() const {
        QStringList names;
        const QComboBox* list = program->sheet().page00()->serverList();
        for (int i = 0; i < list->count(); ++i)
            names.push_back(list->itemText(i));
        return names;
    }
    // The record box i keeps in its non-volatile memory.
    protocol::ConfigRecord stored(int box) {
        return lan.withBox(box, [](sim::SimBox& b) { return b.storedRecord(); });
    }
    // The texts of the messages shown so far, and forgets them.
    QStringList takeMessages() {
        QStringList texts;
        for (const auto& m : ui.messages)
            texts.push_back(m.text);
        ui.messages.clear();
        return texts;
    }

    ScratchDir dir; // the program directory
    sim::SimLan lan;
    platform::IpxSegment segment;
    bool started = false;
    std::string error;
    sheet::RecordingUiServices ui;
    std::unique_ptr<ipxconfig::HollinProgram> program;

private:
    static sim::LanOptions lanOptions() {
        sim::LanOptions o;
        o.ipxPort = 0; // a free carrier port
        return o;
    }
};

} // namespace vnk::testing
