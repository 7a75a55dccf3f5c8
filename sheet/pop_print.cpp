#include "sheet/pop_print.h"

#include "sheet/property_sheet.h"
#include "protocol/pserver_context.h"

#include <QFormLayout>
#include <QLabel>
#include <QSignalBlocker>


namespace vnk::sheet {

using namespace protocol;

PopPrint::PopPrint(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent),
      m_resolver(rules::resolveHostIPv4), m_state(std::make_unique<rules::MailPageState>()) {
    const PageTexts& t = texts();

    m_polling = new QComboBox(this);
    m_polling->setObjectName(QStringLiteral("mailPolling"));
    for (const std::string& e : rules::pollingListEntries())
        m_polling->addItem(QString::fromStdString(e));
    m_polling->setMinimumContentsLength(4);
    m_printPort = new QComboBox(this);
    m_printPort->setObjectName(QStringLiteral("printPort"));
    m_printPort->setMinimumContentsLength(3);
    auto* pollingLabel = new QLabel(t.mailPollingLabel, this);
    pollingLabel->setBuddy(m_polling);
    auto* portLabel = new QLabel(t.printPortLabel, this);
    portLabel->setBuddy(m_printPort);
    auto* top = new QHBoxLayout;
    top->addWidget(pollingLabel);
    top->addWidget(m_polling);
    top->addWidget(new QLabel(t.minutesLabel, this));
    top->addSpacing(30);
    top->addWidget(portLabel);
    top->addWidget(m_printPort);
    top->addStretch(1);
    body()->addLayout(top);

    m_portGroup = new QGroupBox(t.portNames[0], this);
    m_server = new QLineEdit(m_portGroup);
    m_server->setObjectName(QStringLiteral("mailServer"));
    m_account = new QLineEdit(m_portGroup);
    m_account->setObjectName(QStringLiteral("mailAccount"));
    m_account->setMaxLength(int(rules::MailTextWidth));
    m_password = new QLineEdit(m_portGroup);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setMaxLength(int(rules::MailTextWidth));
    m_password->setEchoMode(QLineEdit::Password);
    m_confirm = new QLineEdit(m_portGroup);
    m_confirm->setObjectName(QStringLiteral("confirmPassword"));
    m_confirm->setMaxLength(int(rules::MailTextWidth));
    m_confirm->setEchoMode(QLineEdit::Password);
    m_printHeader = new QCheckBox(t.printMailHeader, m_portGroup);
    m_printAll = new QCheckBox(t.printAllMails, m_portGroup);
    m_reply = new QCheckBox(t.replyConfirmation, m_portGroup);

    auto* form = new QFormLayout;
    form->addRow(t.mailServerLabel, m_server);
    form->addRow(t.mailAccountLabel, m_account);
    form->addRow(t.passwordLabel, m_password);
    form->addRow(t.confirmPasswordLabel, m_confirm);
    auto* checks = new QVBoxLayout;
    checks->addWidget(m_printHeader);
    checks->addWidget(m_printAll);
    checks->addWidget(m_reply);
    checks->addStretch(1);
    auto* columns = new QHBoxLayout(m_portGroup);
    columns->addLayout(form, 1);
    columns->addSpacing(20);
    columns->addLayout(checks);
    body()->addSpacing(4);
    body()->addWidget(m_portGroup);

    connect(m_printPort, &QComboBox::activated, this, &PopPrint::portSwitch);
}

PopPrint::~PopPrint() = default;

void PopPrint::setControlsEnabled(bool enabled) {
    SettingsPage::setControlsEnabled(enabled);
    // The first shows the stored flag and writes it back; the second is never stored.
    m_printAll->setEnabled(false);
    m_reply->setEnabled(false);
}

QString PopPrint::refusal() {
    if (sheet())
        sheet()->setCaption(serverName());
    const auto refused = rules::mailRefusal(recordOf(context()->configBuffer), entry()->name());
    if (!refused)
        return {};
    // Nothing of another box stays on the page.
    *m_state = rules::MailPageState{};
    {
        const QSignalBlocker quiet(m_printPort);
        m_printPort->clear();
    }
    showSlot(0);
    showPolling();
    return texts().noMailPrinting.arg(serverName());
}

void PopPrint::fill() {
    *m_state = rules::mailPageState(recordOf(context()->configBuffer), context()->parallelPortCount);
    {
        const QSignalBlocker quiet(m_printPort);
        m_printPort->clear();
        for (const std::string& e : rules::printPortEntries(m_state->portCount))
            m_printPort->addItem(QString::fromStdString(e));
        m_printPort->setCurrentIndex(m_state->portCount > 0 ? 0 : -1);
    }
    showPolling();
    showSlot(0);
    // A box without parallel ports has no slot to edit.
    const bool ports = m_state->portCount > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{m_server, m_account, m_password, m_confirm, m_printHeader})
        w->setEnabled(ports);
}

void PopPrint::showPolling() {
    m_polling->setCurrentIndex(m_state->pollingSelection);
}

void PopPrint::showSlot(int index) {
    const rules::MailSlot& s = m_state->portSlots[std::size_t(index)];
    m_server->setText(QString::fromStdString(s.server));
    m_account->setText(boxText(s.account));
    m_password->setText(boxText(s.password));
    m_confirm->setText(boxText(s.confirmPassword));
    m_printHeader->setChecked(s.printHeader);
    m_printAll->setChecked(s.printAll);
    m_reply->setChecked(false);
    m_portGroup->setTitle(texts().portNames[index]);
}

rules::MailSlot PopPrint::controlValues() const {
    // What the edits show goes back as the bytes of the slot they were filled
    // from when it was left alone.
    const rules::MailSlot& shown = m_state->portSlots[std::size_t(m_state->current)];
    rules::MailSlot s;
    s.server = m_server->text().toStdString();
    s.account = boxBytes(m_account->text(), shown.account);
    s.password = boxBytes(m_password->text(), shown.password);
    s.confirmPassword = boxBytes(m_confirm->text(), shown.confirmPassword);
    s.printHeader = m_printHeader->isChecked();
    s.replyConfirmation = false;
    s.printAll = m_printAll->isChecked();
    return s;
}

MailServerResolver PopPrint::resolverUnderWaitCursor() {
    return [this](const std::string& name) -> std::optional<rules::Address> {
        WaitCursor wait(ui());
        return m_resolver ? m_resolver(name) : std::nullopt;
    };
}

void PopPrint::portSwitch(int newIndex) {
    if (refused() || !entry() || newIndex < 0)
        return;
    auto putSelectionBack = [this] {
        const QSignalBlocker quiet(m_printPort);
        m_printPort->setCurrentIndex(m_state->current);
    };
    if (QLineEdit* e = overLongEdit(controlValues())) {
        putSelectionBack();
        fail(texts().tooManyCharacters.arg(rules::MailTextWidth), e);
        return;
    }
    const int before = m_state->current;
    if (const auto f = rules::switchMailPort(*m_state, controlValues(), newIndex, resolverUnderWaitCursor())) {
        putSelectionBack();
        fail(messageOf(*f), controlOf(*f), UiServices::Icon::Critical);
        return;
    }
    if (m_state->current != before)
        showSlot(m_state->current);
}

QLineEdit* PopPrint::overLongEdit(const rules::MailSlot& values) const {
    // The edits count characters; the box keeps 8 bytes, and a text in other
    // than plain letters may take more than one byte a character.
    for (auto [text, edit] : {std::pair{&values.account, m_account}, std::pair{&values.password, m_password},
                              std::pair{&values.confirmPassword, m_confirm}})
        if (text->size() > rules::MailTextWidth)
            return edit;
    return nullptr;
}

bool PopPrint::store() {
    if (QLineEdit* e = overLongEdit(controlValues())) {
        fail(texts().tooManyCharacters.arg(rules::MailTextWidth), e);
        return false;
    }
    m_state->pollingSelection = m_polling->currentIndex();
    const auto failures = rules::storeMailPage(*m_state, controlValues(), recordOf(context()->configBuffer),
                                               resolverUnderWaitCursor());
    // One message for each port whose server is no address; nothing is written then.
    for (const rules::MailFailure& f : failures)
        fail(messageOf(f), controlOf(f), UiServices::Icon::Critical);
    if (!failures.empty())
        return false;
    showPolling(); // the first "1" was stored as 1
    return true;
}

QString PopPrint::messageOf(const rules::MailFailure& failure) const {
    // The rules speak English; the page shows its own texts for the same checks.
    return failure.check == rules::MailCheck::InvalidServer ? texts().invalidMailServer.arg(failure.port)
                                                            : texts().confirmPasswordIncorrect.arg(failure.port);
}

QWidget* PopPrint::controlOf(const rules::MailFailure& failure) const {
    return failure.focus == rules::MailControl::ConfirmPassword ? m_confirm : m_server;
}

} // namespace vnk::sheet
