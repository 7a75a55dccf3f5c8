#include "ipxconfig/page07.h"

#include "ipxconfig/rules/hollin_options_rules.h"
#include "protocol/pserver_context.h"
#include "sheet/property_sheet.h"

#include <QFormLayout>

namespace vnk::ipxconfig {

using namespace protocol;

namespace {

QString shown(rules::DefaultShown value) {
    const HollinTexts& h = hollinTexts();
    switch (value) {
    case rules::DefaultShown::Enable:
        return h.valueEnable;
    case rules::DefaultShown::Disable:
        return h.valueDisable;
    case rules::DefaultShown::Auto:
        return h.valueAuto;
    case rules::DefaultShown::Missing:
        break;
    }
    return h.valueMissing;
}

} // namespace

Page07::Page07(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent) {
    const HollinTexts& h = hollinTexts();
    writeButton()->setText(h.setDefaultsButton);
    writeButton()->setObjectName(QStringLiteral("setDefaults"));

    auto* form = new QFormLayout;
    auto field = [&](const QString& label, const char* name) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(name));
        makeReadOnly(edit);
        // Room for an eight-character device name, not the width of the sheet.
        edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 12);
        form->addRow(label, edit);
        return edit;
    };
    m_deviceName = field(h.deviceNameLabel, "deviceName");
    m_diagnostic = field(h.diagnosticPrintOut, "diagnostic");
    m_netware = field(h.netwareSupport, "netware");
    m_tcpip = field(h.tcpipSupport, "tcpip");
    m_dhcpServer = field(h.dhcpServerLabel, "dhcpServer");
    m_netbeui = field(h.netbeuiSupport, "netbeui");
    body()->addLayout(form);
}

void Page07::fill() {
    const rules::FactoryDefaultView v = rules::factoryDefaultView(recordOf(context()->configBuffer), *entry());
    m_deviceName->setText(boxText(v.deviceName));
    m_diagnostic->setText(shown(v.diagnostic));
    m_netware->setText(shown(v.netware));
    m_tcpip->setText(shown(v.tcpip));
    m_dhcpServer->setText(shown(v.dhcpServer));
    m_netbeui->setText(shown(v.netbeui));
}

bool Page07::store() {
    // The box takes its device name back as its name: its list line shows it
    // at once, the box itself after a reset.
    rules::applyFactoryDefault(recordOf(context()->configBuffer), *entry());
    replaceServerListLine();
    appMessage(texts().aliasChanged);
    return true;
}

void Page07::written() {
    if (sheet())
        sheet()->setCaption(serverName());
}

} // namespace vnk::ipxconfig
