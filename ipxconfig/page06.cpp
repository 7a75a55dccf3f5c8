#include "ipxconfig/page06.h"

#include "ipxconfig/rules/netware_rules.h"
#include "protocol/pserver_context.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace vnk::ipxconfig {

using namespace protocol;

namespace {

QLineEdit* readOnlyEdit(QWidget* parent, const QString& objectName) {
    auto* e = new QLineEdit(parent);
    sheet::PropertyPage::makeReadOnly(e);
    e->setObjectName(objectName);
    return e;
}

} // namespace

Page06::Page06(CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
               QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, false, parent) {
    static_assert(QueueLines == int(rules::InformationQueueLines));
    const HollinTexts& h = hollinTexts();
    m_name = addNameRow();
    body()->addSpacing(4);

    const QString labels[FieldCount] = {h.networkAddressLabel, h.pollingIntervalLabel, h.printModeLabel,
                                        h.fileServerInfoLabel, h.ndsTreeLabel,         h.loginStatusLabel};
    static const char* const names[FieldCount] = {"networkAddress", "pollingInterval", "printMode",
                                                  "fileServer",     "ndsTree",         "loginStatus"};
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < FieldCount; ++i) {
        m_fields[i] = readOnlyEdit(this, QLatin1String(names[i]));
        form->addRow(labels[i], m_fields[i]);
    }
    body()->addLayout(form);
    body()->addSpacing(4);

    auto* group = new QGroupBox(h.queuesGroup, this);
    auto* lines = new QVBoxLayout(group);
    lines->setSpacing(2);
    for (int i = 0; i < QueueLines; ++i) {
        m_queues[std::size_t(i)] = readOnlyEdit(group, QStringLiteral("queue%1").arg(i + 1));
        lines->addWidget(m_queues[std::size_t(i)]);
    }
    body()->addWidget(group);
}

void Page06::clearFields() {
    m_name->clear();
    for (QLineEdit* e : m_fields)
        e->clear();
    for (QLineEdit* e : m_queues)
        e->clear();
}

void Page06::fill() {
    const auto rec = recordOf(context()->configBuffer);
    // With NetWare switched off there is nothing to show; another box's
    // values must not stay on the page either.
    if (rules::netwareOff(rec)) {
        clearFields();
        setControlsEnabled(false);
        setEnabled(false);
        return;
    }
    const rules::NetwareInformation info = rules::netwareInformation(rec, context()->statusBuffer);
    m_name->setText(serverName());
    const std::string values[FieldCount] = {info.networkAddress, info.polling, info.printMode,
                                            info.fileServer,     info.ndsTree, info.loginStatus};
    for (std::size_t i = 0; i < FieldCount; ++i)
        m_fields[i]->setText(boxText(values[i]));
    for (std::size_t i = 0; i < m_queues.size(); ++i)
        m_queues[i]->setText(boxText(info.queueLines[i]));
}

} // namespace vnk::ipxconfig
