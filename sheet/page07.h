// The Upgrade page: the user picks a firmware file, sees how many images it
// holds and which printing protocols each image supports, and sends the chosen
// image to the selected print server, which asks for it block by block. What
// the page decides about a file and the transfer itself live in
// protocol/firmware.h; this page only wires them to its controls.
//
// The page serves both utilities: its texts come with the page parameters, and
// the IP utility's refusal of a box that cannot take firmware over UDP is
// switched on by PageParameters::udpUpgradeGate.
#pragma once

#include "sheet/settings_page.h"
#include "protocol/firmware.h"

#include <QButtonGroup>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

#include <array>

namespace vnk::sheet {

// The window that stays up while a transfer runs: two lines of text and how
// many of the image's blocks the box has been sent. It has no buttons; the
// page closes it when the transfer ends, whatever the outcome.
class UpgradeProgressWindow : public QDialog {
    Q_OBJECT
public:
    UpgradeProgressWindow(const QString& caption, const QString& line1, const QString& line2,
                          const QString& barFormat, QWidget* parent = nullptr);

    void setBlocksSent(int blocks);
    QStringList lines() const;
    QProgressBar* bar() const { return m_bar; }

private:
    QLabel* m_line1;
    QLabel* m_line2;
    QProgressBar* m_bar;
};

class Page07 : public SettingsPage {
    Q_OBJECT
public:
    static constexpr int TypeCount = protocol::firmware::MaxImages;

    Page07(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    bool onSetActive() override;

    // The handlers of "Browse...", "Type1" to "Type3" and "Upgrade"; tests call
    // them as a click would.
    void browse();
    void typeClicked(int typeIndex);
    void upgrade();

    QLineEdit* fileNameEdit() const { return m_fileName; }
    QPushButton* browseButton() const { return m_browse; }
    QRadioButton* typeButton(int typeIndex) const { return m_types.at(std::size_t(typeIndex)); }
    QLabel* protocolTextLabel() const { return m_protocolText; }
    QPushButton* upgradeButton() const { return m_upgrade; }

    // While set, Browse analyses a file and Upgrade checks vendor and model code.
    bool checksEnabled() const { return m_checksEnabled; }
    // The image count of the last analysed file.
    int imageCount() const { return m_imageCount; }
    // 0, 1 or 2: the marked Type button.
    int typeIndex() const;
    // The progress window while a transfer runs, else nullptr.
    UpgradeProgressWindow* progressWindow() const { return m_progress; }
    // How the last transfer ended.
    const protocol::UpgradeResult& lastResult() const { return m_lastResult; }

protected:
    // The way to runnable firmware is open to every box.
    bool firmwareGated() const override { return false; }
    QString refusal() override;
    void fill() override;

private:
    const protocol::UpgradeTexts& upgradeTexts() const { return *texts().upgradeTexts; }
    const protocol::ProtocolTexts& protocolTexts() const { return *texts().protocolTexts; }
    // The file name field as the path the protocol functions open.
    std::string filePath() const;
    void setTypeIndex(int typeIndex);
    void showTypeButtons(const protocol::TypeButtons& visible);
    void showMessage(const std::string& text, UiServices::Icon icon = UiServices::Icon::Warning);

    bool m_checksEnabled = true;
    int m_imageCount = 0;
    protocol::UpgradeResult m_lastResult;
    UpgradeProgressWindow* m_progress = nullptr;

    QLineEdit* m_fileName;
    QPushButton* m_browse;
    std::array<QRadioButton*, TypeCount> m_types{};
    QButtonGroup* m_typeGroup;
    QLabel* m_protocolText;
    QPushButton* m_upgrade;
};

} // namespace vnk::sheet
