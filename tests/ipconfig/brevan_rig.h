// Brevan's objects as the program builds them, against a simulated LAN started
// in-process on free loopback ports, with a recording UiServices and a state
// object that notes how the page called it. Each test builds its own rig.
#pragma once

#include "ipconfig/brevan_program.h"
#include "sheet/page00.h"
#include "sheet/recording_ui_services.h"
#include "transport/udp/udp_context.h"
#include "sim/sim_lan.h"
#include "support/sim_helpers.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace vnk::testing {

// Counts the operations the pages run and what the UI showed while they ran.
class ProbeContext final : public protocol::UdpServerContext {
public:
    ProbeContext(const platform::Endpoint& e, const platform::Timing& t, platform::ErrorReporter& r,
                 const sheet::RecordingUiServices& ui)
        : UdpServerContext(e, t, r), m_ui(ui) {}

    int XGetPort() override {
        ++discoveries;
        discoveryWaitDepth = m_ui.waitDepth();
        return UdpServerContext::XGetPort();
    }
    int XGetPServerStatus(protocol::ServerEntry& entry, protocol::StatusBuffer& status) override {
        ++statusReads;
        return UdpServerContext::XGetPServerStatus(entry, status);
    }
    int XTestPrint(protocol::ServerEntry& entry, int port) override {
        testPrintPorts.push_back(port);
        testPrintWaitDepth = m_ui.waitDepth();
        return UdpServerContext::XTestPrint(entry, port);
    }

    int discoveries = 0;
    int discoveryWaitDepth = -1;
    int statusReads = 0;
    std::vector<int> testPrintPorts;
    int testPrintWaitDepth = -1;

private:
    const sheet::RecordingUiServices& m_ui;
};

class BrevanRig {
public:
    // configIni: the Config.ini beside the program ("" = no such file).
    explicit BrevanRig(const std::vector<sim::BoxSpec>& boxes, const std::string& configIni = {}) {
        if (!configIni.empty())
            dir.write("Config.ini", configIni);
        for (const sim::BoxSpec& b : boxes)
            lan.addBox(b);
        started = lan.start(&error);
        program = std::make_unique<ipconfig::BrevanProgram>(
            dir.path(), lan.endpoint(), platform::Timing::fast(), ui,
            [this](const platform::Endpoint& e, const platform::Timing& t, platform::ErrorReporter& r) {
                auto c = std::make_unique<ProbeContext>(e, t, r, ui);
                probe = c.get();
                return c;
            });
    }
    ~BrevanRig() { program.reset(); }

    ipconfig::CPellamDlg& sheet() { return program->sheet(); }
    sheet::Page00& general() { return *sheet().page00(); }
    protocol::CPServerContext& ctx() { return program->context(); }

    // Shows the sheet and waits for the discovery that follows by itself.
    bool showAndDiscover() {
        QSignalSpy done(&general(), &sheet::Page00::refreshFinished);
        sheet().show();
        return done.wait(20000);
    }
    // Presses Refresh; the refresh runs to its end inside the click.
    void clickRefresh() { QTest::mouseClick(general().refreshButton(), Qt::LeftButton); }

    QStringList listed() const {
        QStringList names;
        const QComboBox* list = program->sheet().page00()->serverList();
        for (int i = 0; i < list->count(); ++i)
            names.push_back(list->itemText(i));
        return names;
    }
    int indexOf(const QString& name) const { return listed().indexOf(name); }

    ScratchDir dir; // the program directory
    sim::SimLan lan;
    bool started = false;
    std::string error;
    sheet::RecordingUiServices ui;
    ProbeContext* probe = nullptr;
    std::unique_ptr<ipconfig::BrevanProgram> program;
};

} // namespace vnk::testing
