#include "sheet/page05.h"

#include "sheet/rules/dhcp_rules.h"
#include "sheet/rules/options_rules.h"
#include "protocol/pserver_context.h"

#include <QFormLayout>
#include <QGroupBox>

namespace vnk::sheet {

using namespace protocol;

Page05::Page05(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, false, parent) {
    const PageTexts& t = texts();
    m_name = addNameRow();
    auto* group = new QGroupBox(t.dhcpStatusGroup, this);
    auto* form = new QFormLayout(group);
    const QString labels[FieldCount] = {t.dhcpStatusLabel, t.startingIpLabel, t.nextAvailableIpLabel,
                                        t.gatewayIpLabel,  t.netmaskLabel,    t.dnsServerLabel};
    static const char* const names[FieldCount] = {"status", "startingIp", "nextAvailableIp",
                                                  "gatewayIp", "netmask", "dnsServer"};
    for (std::size_t i = 0; i < FieldCount; ++i) {
        m_fields[i] = new QLineEdit(group);
        makeReadOnly(m_fields[i]);
        m_fields[i]->setMaxLength(i == Status ? 48 : 20);
        m_fields[i]->setObjectName(QLatin1String(names[i]));
        form->addRow(labels[i], m_fields[i]);
    }
    body()->addWidget(group);
}

void Page05::fill() {
    // A box without runnable firmware or without a DHCP server is named in a
    // message and its page stays disabled, but the fields still show what the
    // buffers hold.
    bool refused = firmwareMissing();
    if (refused)
        appMessage(texts().upgradeFirst);
    if (parameters().dhcpInformationReadsStatus) {
        bool read;
        {
            WaitCursor wait(ui());
            read = context()->XGetPServerStatus(*entry(), context()->statusBuffer) == 1;
        }
        // The fields then show the status as it was read last.
        if (!read)
            appMessage(texts().notComingBack.arg(serverName()));
    }
    const auto rec = recordOf(context()->configBuffer);
    if (rules::dhcpInformationRefusal(rec, entry()->name()).has_value()) {
        refused = true;
        appMessage(texts().noDhcpInformation.arg(serverName()));
    }
    m_name->setText(boxText(rules::nameOrDeviceName(*entry())));
    const rules::DhcpInformation info =
        rules::dhcpInformation(rec, context()->statusBuffer, m_fields[Status]->text().toStdString());
    const std::string values[FieldCount] = {info.status,  info.startingIp, info.nextAvailableIp,
                                            info.gateway, info.netmask,    info.dns};
    for (std::size_t i = 0; i < FieldCount; ++i)
        m_fields[i]->setText(boxText(values[i]));
    if (refused)
        setEnabled(false);
}

} // namespace vnk::sheet
