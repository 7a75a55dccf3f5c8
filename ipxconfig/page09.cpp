#include "ipxconfig/page09.h"

#include "ipxconfig/page05.h"
#include "ipxconfig/rules/netware_rules.h"
#include "protocol/pserver_context.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

namespace vnk::ipxconfig {

using namespace protocol;

Page09::Page09(CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
               const ipx::NameLists& names, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent), m_names(names) {
    static_assert(NumberBoxes == int(rules::PrinterNumberBoxes));
    const HollinTexts& h = hollinTexts();

    m_remotePrinter = new QCheckBox(h.remotePrinter, this);
    m_remotePrinter->setObjectName(QStringLiteral("remotePrinter"));
    body()->addWidget(m_remotePrinter);
    body()->addSpacing(6);

    m_printServer = new BoxNameCombo(this);
    m_printServer->setObjectName(QStringLiteral("printServer"));
    auto* serverLabel = new QLabel(h.printServerLabel, this);
    serverLabel->setBuddy(m_printServer);
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(serverLabel);
    serverRow->addWidget(m_printServer);
    serverRow->addStretch(1);
    body()->addLayout(serverRow);
    body()->addSpacing(6);

    // The ports in two columns: the parallel ones on the left, the serial ones
    // on the right.
    auto* group = new QGroupBox(h.printerNumberGroup, this);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(10);
    static const char* const ports[NumberBoxes] = {"LPT1", "LPT2", "LPT3", "COM1", "COM2"};
    for (int i = 0; i < NumberBoxes; ++i) {
        const QString port = QLatin1String(ports[i]);
        auto* box = numberCombo(group, rules::MinPrinterNumber, rules::MaxPrinterNumber, ports[i]);
        auto* label = new QLabel(port, group);
        label->setBuddy(box);
        const int row = i < 3 ? i : i - 3;
        const int column = i < 3 ? 0 : 3;
        grid->addWidget(label, row, column);
        grid->addWidget(box, row, column + 1);
        m_numbers[std::size_t(i)] = box;
    }
    grid->setColumnMinimumWidth(2, 40);
    grid->setColumnStretch(5, 1);
    body()->addWidget(group);

    connect(m_remotePrinter, &QCheckBox::clicked, this, &Page09::remotePrinterClicked);
}

QComboBox* Page09::printServerBox() const {
    return m_printServer;
}

QString Page09::refusal() {
    if (!rules::remotePrinterSupported(recordOf(context()->configBuffer)))
        return hollinTexts().noRemotePrinter.arg(serverName());
    return {};
}

void Page09::applyControlStates() {
    const rules::RemotePrinterControls c =
        rules::remotePrinterControls(recordOf(context()->configBuffer), m_remotePrinter->isChecked());
    m_remotePrinter->setEnabled(c.checkBox);
    m_printServer->setEnabled(c.printServer);
    for (std::size_t i = 0; i < m_numbers.size(); ++i)
        m_numbers[i]->setEnabled(c.numbers[i]);
}

void Page09::fill() {
    const auto rec = recordOf(context()->configBuffer);
    const rules::RemotePrinterValues v = rules::remotePrinterValues(rec);
    m_printServer->fill(*this, rules::nameChoices(v.printServer, m_names.printServers), v.printServer);
    for (std::size_t i = 0; i < m_numbers.size(); ++i)
        showNumber(m_numbers[i], v.numbers[i]);
    m_remotePrinter->setChecked(v.remotePrinter);
    applyControlStates();
    if (rules::netwareOff(rec))
        setEnabled(false);
}

void Page09::remotePrinterClicked() {
    applyControlStates();
}

bool Page09::store() {
    rules::RemotePrinterValues v;
    for (std::size_t i = 0; i < m_numbers.size(); ++i) {
        const std::optional<int> n = comboNumber(m_numbers[i]);
        if (!n) {
            fail(texts().enterInteger, m_numbers[i]);
            return false;
        }
        v.numbers[i] = *n;
    }
    v.printServer = m_printServer->bytes(*this);
    v.remotePrinter = m_remotePrinter->isChecked();
    if (const auto failure = rules::storeRemotePrinter(recordOf(context()->configBuffer), v)) {
        QWidget* focus = failure->field == rules::NetwareField::PrinterNumber
                             ? static_cast<QWidget*>(m_numbers[std::size_t(failure->index)])
                             : m_printServer;
        fail(netwareFailureText(*failure, texts()), focus);
        return false;
    }
    return true;
}

} // namespace vnk::ipxconfig
