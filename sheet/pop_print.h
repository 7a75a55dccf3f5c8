// The mail printing page: for each parallel port of the box the mail server,
// account and password it polls, whether it prints the mail header, and for the
// whole box how often it polls.
#pragma once

#include "sheet/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "sheet/rules/mail_rules.h"

namespace vnk::sheet {

// Turns a host name into its first IPv4 address, or nothing.
using MailServerResolver = rules::HostResolver;

class PopPrint : public SettingsPage {
    Q_OBJECT
public:
    PopPrint(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
             QWidget* parent = nullptr);
    ~PopPrint() override;

    // How a mail server name becomes an address (the machine's resolver by
    // default). It runs under the wait cursor.
    void setResolver(MailServerResolver resolver) { m_resolver = std::move(resolver); }

    // The "Print Port" choice confirmed: show the slot of that port, after the
    // shown port's server and password pass their checks.
    void portSwitch(int newIndex);

    QComboBox* pollingList() const { return m_polling; }
    QComboBox* printPortList() const { return m_printPort; }
    QGroupBox* portGroup() const { return m_portGroup; }
    QLineEdit* mailServerEdit() const { return m_server; }
    QLineEdit* mailAccountEdit() const { return m_account; }
    QLineEdit* passwordEdit() const { return m_password; }
    QLineEdit* confirmPasswordEdit() const { return m_confirm; }
    QCheckBox* printMailHeaderCheck() const { return m_printHeader; }
    QCheckBox* printAllMailsCheck() const { return m_printAll; }
    QCheckBox* replyConfirmationCheck() const { return m_reply; }

protected:
    // Mail printing works on a box without runnable firmware.
    bool firmwareGated() const override { return false; }
    QString refusal() override;
    void fill() override;
    bool store() override;
    void setControlsEnabled(bool enabled) override;

private:
    rules::MailSlot controlValues() const;
    // The edit whose text takes more bytes than its field holds, or nullptr.
    QLineEdit* overLongEdit(const rules::MailSlot& values) const;
    void showSlot(int index);
    void showPolling();
    QString messageOf(const rules::MailFailure& failure) const;
    QWidget* controlOf(const rules::MailFailure& failure) const;
    MailServerResolver resolverUnderWaitCursor();

    MailServerResolver m_resolver;
    std::unique_ptr<rules::MailPageState> m_state;

    QComboBox* m_polling;
    QComboBox* m_printPort;
    QGroupBox* m_portGroup;
    QLineEdit* m_server;
    QLineEdit* m_account;
    QLineEdit* m_password;
    QLineEdit* m_confirm;
    QCheckBox* m_printHeader;
    QCheckBox* m_printAll;
    QCheckBox* m_reply;
};

} // namespace vnk::sheet
