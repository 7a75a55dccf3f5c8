#include "sheet/page04.h"

#include "sheet/property_sheet.h"
#include "sheet/rules/dhcp_rules.h"
#include "protocol/pserver_context.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>

namespace vnk::sheet {

using namespace protocol;

namespace {

QLineEdit* addressEdit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setMaxLength(20);
    e->setObjectName(QLatin1String(name));
    return e;
}

} // namespace

Page04::Page04(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent) {
    const PageTexts& t = texts();

    auto* startupGroup = new QGroupBox(t.dhcpStartupGroup, this);
    m_startupAuto = new QRadioButton(t.autoButton, startupGroup);
    m_startupAuto->setObjectName(QStringLiteral("startupAuto"));
    m_startupEnable = new QRadioButton(t.enableButton, startupGroup);
    m_startupEnable->setObjectName(QStringLiteral("startupEnable"));
    m_startupDisable = new QRadioButton(t.disableButton, startupGroup);
    m_startupDisable->setObjectName(QStringLiteral("startupDisable"));
    auto* startupModes = new QButtonGroup(this);
    auto* startupRow = new QHBoxLayout(startupGroup);
    for (QRadioButton* b : {m_startupAuto, m_startupEnable, m_startupDisable}) {
        startupModes->addButton(b);
        startupRow->addWidget(b);
    }
    startupRow->addStretch(1);

    auto* setupGroup = new QGroupBox(t.dhcpSetupGroup, this);
    m_setupAuto = new QRadioButton(t.autoButton, setupGroup);
    m_setupAuto->setObjectName(QStringLiteral("setupAuto"));
    m_setupManual = new QRadioButton(t.manualButton, setupGroup);
    m_setupManual->setObjectName(QStringLiteral("setupManual"));
    auto* setupModes = new QButtonGroup(this);
    auto* setupRow = new QHBoxLayout(setupGroup);
    for (QRadioButton* b : {m_setupAuto, m_setupManual}) {
        setupModes->addButton(b);
        setupRow->addWidget(b);
    }
    setupRow->addStretch(1);

    auto* groups = new QHBoxLayout;
    groups->addWidget(startupGroup, 3);
    groups->addWidget(setupGroup, 2);
    body()->addLayout(groups);

    m_printServerIpLabel = new QLabel(this);
    m_printServerIp = addressEdit(this, "printServerIp");
    m_startingIp = addressEdit(this, "startingIp");
    m_netmask = addressEdit(this, "netmask");
    m_gateway = addressEdit(this, "gatewayIp");
    m_dns = addressEdit(this, "dnsServer");
    m_ipRange = new QLineEdit(this);
    m_ipRange->setMaxLength(5);
    m_ipRange->setObjectName(QStringLiteral("ipRange"));
    m_printServerIpLabel->setBuddy(m_printServerIp);

    // Two columns: the print server and the range it hands out on the left,
    // the network around them on the right.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    auto place = [&](int row, int column, QLabel* label, QLineEdit* edit) {
        label->setBuddy(edit);
        grid->addWidget(label, row, column * 2);
        grid->addWidget(edit, row, column * 2 + 1);
    };
    place(0, 0, m_printServerIpLabel, m_printServerIp);
    place(1, 0, new QLabel(t.startingIpLabel, this), m_startingIp);
    place(2, 0, new QLabel(t.ipRangeLabel, this), m_ipRange);
    place(0, 1, new QLabel(t.netmaskLabel, this), m_netmask);
    place(1, 1, new QLabel(t.gatewayIpLabel, this), m_gateway);
    place(2, 1, new QLabel(t.dnsServerLabel, this), m_dns);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnMinimumWidth(2, 20);
    body()->addSpacing(4);
    body()->addLayout(grid);

    setTabOrder(m_printServerIp, m_startingIp);
    setTabOrder(m_startingIp, m_netmask);
    setTabOrder(m_netmask, m_gateway);
    setTabOrder(m_gateway, m_dns);
    setTabOrder(m_dns, m_ipRange);

    connect(m_startupAuto, &QRadioButton::clicked, this, &Page04::startupAutoOrEnableClicked);
    connect(m_startupEnable, &QRadioButton::clicked, this, &Page04::startupAutoOrEnableClicked);
    connect(m_startupDisable, &QRadioButton::clicked, this, &Page04::startupDisableClicked);
    connect(m_setupAuto, &QRadioButton::clicked, this, &Page04::setupAutoClicked);
    connect(m_setupManual, &QRadioButton::clicked, this, &Page04::setupManualClicked);
}

void Page04::onInitDialog() {
    SettingsPage::onInitDialog();
    m_printServerIpLabel->setText(title() + texts().ipSuffix);
}

QString Page04::refusal() {
    // The caption names the box even when the page refuses it.
    if (sheet())
        sheet()->setCaption(serverName());
    switch (rules::dhcpSetupRefusal(recordOf(context()->configBuffer))) {
    case rules::DhcpRefusal::NoDhcpServer:
        return texts().noDhcp.arg(serverName());
    case rules::DhcpRefusal::NoTcpIp:
        return texts().noTcpIp.arg(serverName());
    case rules::DhcpRefusal::TcpIpDisabled:
        return texts().enableTcpIpFirst;
    case rules::DhcpRefusal::None:
        break;
    }
    return {};
}

void Page04::setEditsEnabled(bool enabled) {
    for (QLineEdit* e : {m_printServerIp, m_startingIp, m_netmask, m_gateway, m_dns, m_ipRange})
        e->setEnabled(enabled);
}

void Page04::setSetupButtonsEnabled(bool enabled) {
    m_setupAuto->setEnabled(enabled);
    m_setupManual->setEnabled(enabled);
}

void Page04::fill() {
    const rules::DhcpSetupValues v = rules::dhcpSetupValues(recordOf(context()->configBuffer));
    const rules::DhcpControlStates c = rules::dhcpControlStates(v.startup, v.setup);
    for (QRadioButton* b : {m_startupAuto, m_startupEnable, m_startupDisable})
        b->setEnabled(c.startupButtons);
    (v.startup == rules::DhcpStartup::Disable  ? m_startupDisable
     : v.startup == rules::DhcpStartup::Enable ? m_startupEnable
                                               : m_startupAuto)
        ->setChecked(true);
    (v.setup == rules::DhcpSetup::Manual ? m_setupManual : m_setupAuto)->setChecked(true);
    setSetupButtonsEnabled(c.setupButtons);
    setEditsEnabled(c.edits);
    m_ipRange->setText(QString::number(v.ipRange));
    m_printServerIp->setText(QString::fromStdString(v.printServerIp));
    m_startingIp->setText(QString::fromStdString(v.startingIp));
    m_gateway->setText(QString::fromStdString(v.gateway));
    m_netmask->setText(QString::fromStdString(v.netmask));
    m_dns->setText(QString::fromStdString(v.dns));
}

void Page04::startupAutoOrEnableClicked() {
    setSetupButtonsEnabled(true);
    setEditsEnabled(m_setupManual->isChecked());
}

void Page04::startupDisableClicked() {
    setSetupButtonsEnabled(false);
    setEditsEnabled(false);
}

void Page04::setupAutoClicked() {
    setEditsEnabled(false);
}

void Page04::setupManualClicked() {
    setEditsEnabled(true);
}

bool Page04::store() {
    // The range edit is read as a number first, whatever the mode, as the
    // framework reads every control before the page sees any value.
    bool isNumber = false;
    const int range = m_ipRange->text().trimmed().toInt(&isNumber);
    if (!isNumber) {
        fail(texts().enterInteger, m_ipRange);
        return false;
    }
    rules::DhcpSetupValues v;
    v.startup = m_startupDisable->isChecked()  ? rules::DhcpStartup::Disable
                : m_startupEnable->isChecked() ? rules::DhcpStartup::Enable
                                               : rules::DhcpStartup::Auto;
    v.setup = m_setupManual->isChecked() ? rules::DhcpSetup::Manual : rules::DhcpSetup::Auto;
    v.printServerIp = m_printServerIp->text().toStdString();
    v.startingIp = m_startingIp->text().toStdString();
    v.netmask = m_netmask->text().toStdString();
    v.gateway = m_gateway->text().toStdString();
    v.dns = m_dns->text().toStdString();
    // A negative number becomes a range far above any limit and is refused by it.
    v.ipRange = std::uint32_t(range);
    if (const auto f = rules::storeDhcpSetup(v, recordOf(context()->configBuffer))) {
        fail(messageOf(*f), editOf(*f));
        return false;
    }
    return true;
}

QString Page04::messageOf(const rules::DhcpFailure& failure) const {
    // The rules speak English; the page shows its own texts for the same checks.
    const PageTexts& t = texts();
    switch (failure.code) {
    case rules::DhcpBadPrintServerIp: return t.dhcpInvalidIp;
    case rules::DhcpBadGateway: return t.dhcpInvalidGateway;
    case rules::DhcpBadStartingIp: return t.dhcpInvalidStartingIp;
    case rules::DhcpBadNetmask: return t.dhcpInvalidNetmask;
    case rules::DhcpRangeTooLarge: return t.dhcpRangeZero;
    case rules::DhcpBadDns: return t.dhcpInvalidDns;
    case rules::DhcpRangeAboveLimit: return t.dhcpRangeLimit.arg(failure.limit);
    default: return QString::fromStdString(failure.message);
    }
}

QLineEdit* Page04::editOf(const rules::DhcpFailure& failure) const {
    switch (failure.focus) {
    case rules::DhcpControl::PrintServerIp:
        return m_printServerIp;
    case rules::DhcpControl::StartingIp:
        return m_startingIp;
    case rules::DhcpControl::Netmask:
        return m_netmask;
    case rules::DhcpControl::Gateway:
        return m_gateway;
    case rules::DhcpControl::Dns:
        return m_dns;
    case rules::DhcpControl::IpRange:
        break;
    }
    return m_ipRange;
}

} // namespace vnk::sheet
