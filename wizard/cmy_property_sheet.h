// The setup wizard: four pages that find a print server, name it, give it an
// address, write the changes to it and make a printer port for it. It runs
// modally; Cancel writes nothing.
#pragma once

#include "platform/hostinfo.h"
#include "sheet/ui_services.h"
#include "wizard/core/wizard_network.h"
#include "wizard/rules/page_rules.h"

#include <QDialog>
#include <QWizard>
#include <QWizardPage>

#include <optional>
#include <string>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vnk::wizard {

// What the pages work with: the process's table, the links, the user and the PC.
struct WizardContext {
    WizardServerTable& table;
    WizardNetwork& network;
    sheet::UiServices& ui;
    const platform::HostInfo& host;
    std::string stateDirectory; // the spooler's registrations and the system directory
};

// The "請稍後" window shown while the search runs.
class CWaitWindow final : public QDialog {
public:
    explicit CWaitWindow(QWidget* parent);
    // Shows the window and returns once it is drawn on the screen (or after
    // ExposeWaitMs), so that it stays readable while a search blocks.
    void showDrawn();
    static constexpr int ExposeWaitMs = 1000;
};

class CMyPropertyPage1 final : public QWizardPage {
public:
    explicit CMyPropertyPage1(WizardContext& ctx);
    void initializePage() override;
    bool validatePage() override;
    void search(); // also button 1021
    QListWidget* list() const { return m_list; }

private:
    WizardContext& m_ctx;
    QListWidget* m_list;
    bool m_searched = false;
};

class CMyPropertyPage2 final : public QWizardPage {
public:
    explicit CMyPropertyPage2(WizardContext& ctx);
    void initializePage() override;
    bool validatePage() override;

private:
    WizardContext& m_ctx;
    QLineEdit* m_deviceName;
    QLineEdit* m_assignedName;
};

class CMyPropertyPage3 final : public QWizardPage {
public:
    explicit CMyPropertyPage3(WizardContext& ctx);
    void initializePage() override;
    bool validatePage() override;

private:
    void chooseRadio(int value);
    std::optional<Ipv4> pcAddress() const;

    WizardContext& m_ctx;
    QLabel* m_note;
    QRadioButton* m_keep;  // 1013
    QRadioButton* m_fixed; // 1014
    QButtonGroup* m_radios;
    QLineEdit* m_ip;       // 1016
};

class CMyPropertyPage4 final : public QWizardPage {
public:
    explicit CMyPropertyPage4(WizardContext& ctx);
    void initializePage() override;
    bool validatePage() override;

private:
    WizardContext& m_ctx;
    QLineEdit* m_fields[7];
};

class CMyPropertySheet final : public QWizard {
public:
    CMyPropertySheet(WizardContext& ctx, std::string monitorName, QWidget* parent = nullptr);
    const std::string& monitorName() const { return m_monitorName; }
    CMyPropertyPage1* page1() const { return m_page1; }

private:
    std::string m_monitorName;
    CMyPropertyPage1* m_page1;
};

// The wizard's font: its Traditional Chinese texts need a CJK face.
QString wizardFontFamily();

} // namespace vnk::wizard
