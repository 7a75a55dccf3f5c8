// The General page: finds the print servers, lets the user choose the one every
// other page works on, shows its model line, and prints a test page on one of
// its ports. It cannot be left while no print server has been found.
#pragma once

#include "sheet/rules/general_page_rules.h"
#include "sheet/property_page.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <array>

namespace vnk::sheet {

class Page00 : public PropertyPage {
    Q_OBJECT
public:
    Page00(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
           QWidget* parent = nullptr);

    void onInitDialog() override;
    bool onSetActive() override;
    bool onKillActive() override;

    // Runs discovery again and lists what it found; selects the first server.
    void refresh();
    // Makes the list's current server the selected one: reads its record and status.
    void selectServer();
    // Re-reads the port counts and the model line from the configuration buffer
    // and marks a port: 0 marks LPT1 (any update), 1 and 2 mark LPT1 or LPT2 (clicks).
    void portAndModelUpdate(int argument);
    // Asks the selected server for a test page on the marked port.
    void testPrint();

    // True until the first refresh has run.
    bool firstActivation() const { return m_firstActivation != 0; }
    // The marked port (0-4, LPT1..COM2) as last exchanged; -1 before any.
    int portIndex() const { return m_portIndex; }

    QComboBox* serverList() const { return m_serverList; }
    QLineEdit* modelLineEdit() const { return m_modelLineEdit; }
    QRadioButton* portButton(int index) const { return m_portButtons.at(std::size_t(index)); }
    QPushButton* refreshButton() const { return m_refresh; }
    QPushButton* testPrintButton() const { return m_testPrint; }
    QLabel* listLabel() const { return m_listLabel; }

signals:
    // A refresh has finished (found servers or not).
    void refreshFinished();

private:
    // The page's data exchange: fields to controls, and controls to fields.
    void showFields();
    void takeFields();
    void setPortControlsEnabled(bool enabled);

    std::int32_t m_firstActivation = 1;
    QString m_modelLine;
    std::int32_t m_portIndex = -1;
    QString m_titleText;
    QString m_listLabelText;
    bool m_busy = false; // a refresh, selection or test print is running

    QLabel* m_listLabel;
    QComboBox* m_serverList;
    QLineEdit* m_modelLineEdit;
    std::array<QRadioButton*, PortButtonCount> m_portButtons{};
    QButtonGroup* m_portGroup;
    QPushButton* m_testPrint;
    QPushButton* m_refresh;
};

} // namespace vnk::sheet
