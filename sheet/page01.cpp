#include "sheet/page01.h"

#include "sheet/rules/ip_rules.h"
#include "protocol/pserver_context.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>

#include <cstring>

namespace vnk::sheet {

using namespace protocol;

Page01::Page01(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, true, parent),
      m_host(std::make_shared<platform::SystemHostInfo>()) {
    const PageTexts& t = texts();
    m_name = addNameRow();
    auto* group = new QGroupBox(t.tcpipGroup, this);
    m_auto = new QRadioButton(t.autoButton, group);
    m_manual = new QRadioButton(t.manualButton, group);
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_auto, 0);
    modes->addButton(m_manual, 1);
    m_address = new QLineEdit(group);
    m_address->setMaxLength(20);
    m_address->setObjectName(QStringLiteral("ipAddress"));
    m_gateway = new QLineEdit(group);
    m_gateway->setObjectName(QStringLiteral("gateway"));
    m_mask = new QLineEdit(group);
    m_mask->setObjectName(QStringLiteral("subnetMask"));
    auto* radios = new QHBoxLayout;
    radios->addWidget(m_auto);
    radios->addWidget(m_manual);
    radios->addStretch(1);
    auto* form = new QFormLayout;
    form->addRow(t.ipAddressLabel, m_address);
    form->addRow(t.gatewayLabel, m_gateway);
    form->addRow(t.subnetMaskLabel, m_mask);
    auto* column = new QVBoxLayout(group);
    column->addLayout(radios);
    column->addLayout(form);
    body()->addWidget(group);
    // The check box shows the flag; it cannot be changed on this page.
    m_tcpip = new QCheckBox(t.tcpipSupport, this);
    body()->addWidget(m_tcpip);
    connect(m_auto, &QRadioButton::clicked, this, &Page01::autoClicked);
    connect(m_manual, &QRadioButton::clicked, this, &Page01::manualClicked);
}

bool Page01::gatewayAndMaskAvailable() const {
    return recordOf(context()->configBuffer)[record::Capabilities] & record::CapMailAndGateway;
}

void Page01::setControlsEnabled(bool enabled) {
    SettingsPage::setControlsEnabled(enabled);
    m_tcpip->setEnabled(false);
}

void Page01::fill() {
    const auto rec = recordOf(context()->configBuffer);
    const rules::IpActivation a = rules::ipActivation(rec);
    m_name->setText(serverName());
    m_tcpip->setChecked(a.tcpipSupport);
    m_tcpip->setEnabled(false);
    m_auto->setEnabled(a.radiosEnabled);
    m_manual->setEnabled(a.radiosEnabled);
    m_address->setText(QString::fromStdString(a.address));
    m_gateway->setText(QString::fromStdString(a.gateway));
    m_mask->setText(QString::fromStdString(a.mask));
    std::memcpy(m_storedAddress.data(), &rec[record::IpAddress], 4);
    if (a.manual) {
        m_manual->setChecked(true);
        manualSetup();
    } else {
        m_auto->setChecked(true);
        m_address->setEnabled(false);
        m_gateway->setEnabled(false);
        m_mask->setEnabled(false);
    }
}

void Page01::autoClicked() {
    m_address->setEnabled(false);
    m_gateway->setEnabled(false);
    m_mask->setEnabled(false);
}

void Page01::manualClicked() {
    manualSetup();
}

void Page01::manualSetup() {
    m_address->setEnabled(true);
    m_gateway->setEnabled(gatewayAndMaskAvailable());
    m_mask->setEnabled(gatewayAndMaskAvailable());
    const rules::ManualSetup m = rules::manualSetup(*m_host, m_address->text().toStdString());
    // What was found before stays when nothing is found now.
    if (!m.pcAddress.empty()) {
        m_pcAddress = QString::fromStdString(m.pcAddress);
        m_pcMask = QString::fromStdString(m.pcMask);
    }
    m_address->setText(QString::fromStdString(m.address));
}

bool Page01::store() {
    rules::IpInput in;
    in.manual = m_manual->isChecked();
    in.address = m_address->text().toStdString();
    in.gateway = m_gateway->text().toStdString();
    in.mask = m_mask->text().toStdString();
    if (const auto refusal = rules::validateIpInput(in)) {
        QWidget* focus = refusal->focus == rules::IpControl::IpAddress ? m_address
                         : refusal->focus == rules::IpControl::Gateway ? m_gateway
                                                                        : m_mask;
        fail(messageOf(refusal->check), focus);
        return false;
    }
    const rules::IpValues v = rules::ipValues(in);
    rules::storeIpValues(recordOf(context()->configBuffer), v, m_tcpip->isChecked());
    m_storedAddress = v.address;
    return true;
}

QString Page01::messageOf(rules::IpCheck check) const {
    // The rules speak English; the page shows its own texts for the same checks.
    switch (check) {
    case rules::IpCheck::IpAddress: return texts().invalidIpAddress;
    case rules::IpCheck::Gateway: return texts().invalidGateway;
    case rules::IpCheck::Mask:
    case rules::IpCheck::MaskAgainstAddress: return texts().invalidSubnetMask;
    case rules::IpCheck::GatewayOutsideNetwork: return texts().gatewayOutsideNetwork;
    }
    return {};
}

QString Page01::refusal() {
    // The IPX utility's page has nothing to show for a box without TCP/IP.
    if (!texts().ipPageNoTcpIp.isEmpty() && !(recordOf(context()->configBuffer)[record::Capabilities] & record::CapTcpIp))
        return texts().ipPageNoTcpIp.arg(serverName());
    return {};
}

bool Page01::confirmWrite() {
    if (!m_manual->isChecked())
        return true;
    if (!rules::differentNetwork(m_storedAddress, m_pcAddress.toStdString(), m_pcMask.toStdString()))
        return true;
    return ui().message(texts().warningCaption, texts().differentNetworkQuestion, UiServices::Icon::Warning,
                        UiServices::Yes | UiServices::No) == UiServices::Yes;
}

} // namespace vnk::sheet
