// The NetWare settings page: the print server's alias name, how it prints over
// NetWare (through a primary file server in Bindery mode, or in an NDS tree and
// context), remote printer mode and the polling interval. The name boxes offer
// what discovery found on the bindery. A name longer than its record field is
// refused with the framework's "too many characters" message (see
// ipxconfig/rules/netware_rules.h).
#pragma once

#include "ipxconfig/hollin_texts.h"
#include "transport/ipx/ipx_context.h"
#include "sheet/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>

#include <optional>
#include <string>
#include <vector>

namespace vnk::rules {
struct NetwareFailure;
}

namespace vnk::ipxconfig {

// The message of a failed check of the NetWare pages, in the utility's texts.
QString netwareFailureText(const rules::NetwareFailure& failure, const sheet::PageTexts& texts);

// An editable name box filled with texts of the box or the bindery, that gives
// back, for what it shows, the bytes of the entry it was filled from.
class BoxNameCombo : public QComboBox {
    Q_OBJECT
  public:
    explicit BoxNameCombo(QWidget* parent);
    // The entries (bytes) and the text shown; shown is one of them or not.
    void fill(const sheet::PropertyPage& page, const std::vector<std::string>& entries,
              const std::string& shown);
    // The bytes to store: those of the entry (or of the text it was filled
    // with) whose text it shows, else the text in the box's code page.
    std::string bytes(const sheet::PropertyPage& page) const;

  private:
    std::vector<std::string> m_entries;
    std::string m_shown;
};

// A number box: an editable list of the numbers low to high.
QComboBox* numberCombo(QWidget* parent, int low, int high, const char* objectName);
// The number a number box shows, or nothing when it is not an integer.
std::optional<int> comboNumber(const QComboBox* box);
// Shows a number in a number box.
void showNumber(QComboBox* box, int value);

class Page05 : public sheet::SettingsPage {
    Q_OBJECT
  public:
    Page05(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
           const ipx::NameLists& names, QWidget* parent = nullptr);

    // The mode buttons and the remote printer box clicked.
    void binderyClicked();
    void ndsClicked();
    void remotePrinterClicked();

    QLineEdit* aliasEdit() const { return m_alias; }
    QRadioButton* binderyButton() const { return m_bindery; }
    QRadioButton* ndsButton() const { return m_nds; }
    QComboBox* fileServerBox() const { return m_fileServer; }
    QComboBox* treeBox() const { return m_tree; }
    QLineEdit* contextEdit() const { return m_context; }
    QCheckBox* remotePrinterCheck() const { return m_remotePrinter; }
    QComboBox* pollingBox() const { return m_polling; }
    QLabel* treeLabel() const { return m_treeLabel; }
    QLabel* contextLabel() const { return m_contextLabel; }

  protected:
    void fill() override;
    bool store() override;

  private:
    void applyControlStates();

    const ipx::NameLists& m_names; // refilled by each discovery
    QLineEdit* m_alias;
    std::string m_shownAlias; // the bytes the alias edit was filled from
    QRadioButton* m_bindery;
    QRadioButton* m_nds;
    QLabel* m_fileServerLabel;
    BoxNameCombo* m_fileServer;
    QLabel* m_treeLabel;
    BoxNameCombo* m_tree;
    QLabel* m_contextLabel;
    QLineEdit* m_context;
    std::string m_shownContext;
    QCheckBox* m_remotePrinter;
    QComboBox* m_polling;
};

} // namespace vnk::ipxconfig
