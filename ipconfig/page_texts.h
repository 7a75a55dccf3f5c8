// Every text the sheet and its pages show, and the other parameters that let
// one set of pages serve both utilities: Brevan passes the English texts below,
// the IPX utility its Traditional Chinese ones. The transport is not a parameter
// here: it is the CPServerContext a sheet is given (the IPX utility passes a
// context whose operations go over IPX).
//
// Texts that take the print server name use %1 where the name goes.
#pragma once

#include <QString>

namespace vnk::ipconfig {

struct PageTexts {
    // Sheet and About box
    QString configurationSuffix = QStringLiteral(" Configuration"); // sheet caption: title + this
    QString nameSuffix = QStringLiteral(" Name");                   // list and name labels: title + this
    QString aboutCaptionPrefix = QStringLiteral("About ");          // About box caption: this + title
    QString aboutCommand = QStringLiteral("&About");                // the About button and menu entry
    QString minimizeCommand = QStringLiteral("Minimize");
    QString okButton = QStringLiteral("OK");
    QString cancelButton = QStringLiteral("Cancel");
    QString applyButton = QStringLiteral("&Apply");
    QString helpButton = QStringLiteral("Help");

    // Tab captions
    QString generalTab = QStringLiteral("General");
    QString statusTabSuffix = QStringLiteral(" Status"); // title + this
    QString printerStatusTab = QStringLiteral("Printer Status");
    QString optionsTabSuffix = QStringLiteral(" Cfg"); // title + this
    QString ipTab = QStringLiteral("IP Cfg");
    QString dhcpTab = QStringLiteral("DHCP Cfg");
    QString dhcpInformationTab = QStringLiteral("DHCP Information");
    QString upgradeTab = QStringLiteral("Upgrade");
    QString mailTab = QStringLiteral("Mail Print Cfg");
    QString snmpTab = QStringLiteral("SNMP Cfg");

    // General page
    QString refreshButton = QStringLiteral("Refresh");
    QString testPrintButton = QStringLiteral("TestPrint");
    QString portGroup = QStringLiteral("Print Server Port");
    QString portNames[5] = {QStringLiteral("LPT1"), QStringLiteral("LPT2"), QStringLiteral("LPT3"),
                            QStringLiteral("COM1"), QStringLiteral("COM2")};
    QString cannotReadEeprom = QStringLiteral("Cannot Read EEPROM");
    QString cannotReadStatus = QStringLiteral("Cannot Read Status");
    QString upgradedFailOnce = QStringLiteral("'%1' upgraded fail once");

    // Every editing page
    QString writeButton = QStringLiteral("Write");
    QString resetButton = QStringLiteral("Reset");
    QString cannotWriteEeprom = QStringLiteral("Cannot Write EEProm");
    QString warningCaption = QStringLiteral("Warning");

    // IP settings page
    QString tcpipGroup = QStringLiteral("TCP/IP Configuration");
    QString autoButton = QStringLiteral("Auto");
    QString manualButton = QStringLiteral("Manual");
    QString ipAddressLabel = QStringLiteral("IP Address:");
    QString gatewayLabel = QStringLiteral("Gateway:");
    QString subnetMaskLabel = QStringLiteral("SubNet Mask:");
    QString tcpipSupport = QStringLiteral("TCP/IP Support");
    QString differentNetworkQuestion = QStringLiteral(
        "The IP address given for the Varnotek is in the different network from this PC. Are you sure?");

    // Status page
    QString deviceNameLabel = QStringLiteral("Device Name");
    QString aliasNameLabel = QStringLiteral("Alias Name");
    QString ethernetIdLabel = QStringLiteral("Ethernet ID");
    QString frameTypeLabel = QStringLiteral("Frame Type");
    QString activeIpLabel = QStringLiteral("Active IP");
    QString netbeuiLabel = QStringLiteral("NetBEUI");
    QString protocolLabel = QStringLiteral("Protocol Support");
    QString diagnosticLabel = QStringLiteral("Diagnostic Print Out");
    QString networkSpeedLabel = QStringLiteral("Network Speed");

    // Printer Status page
    QString portColumn = QStringLiteral("Port");
    QString statusColumn = QStringLiteral("Status and Information");
    QString upgradeFirst = QStringLiteral("You have to upgrade Varnotek first !!!");
};

struct PageParameters {
    PageTexts texts;
    // The IPX utility's pages refuse a box without runnable firmware; Brevan's
    // pages (but the printer status page) do not.
    bool firmwareGate = false;
};

// Brevan's parameters: English texts, no firmware gate.
PageParameters brevanParameters();

} // namespace vnk::ipconfig
