// Every text the sheet and its pages show, and the other parameters that let
// one set of pages serve both utilities: Brevan passes the English texts below,
// the IPX utility its Traditional Chinese ones. The transport is not a parameter
// here: it is the CPServerContext a sheet is given (the IPX utility passes a
// context whose operations go over IPX).
//
// Texts that take the print server name use %1 where the name goes.
#pragma once

#include "platform/box_text.h"
#include "protocol/firmware.h"

#include <QString>

namespace vnk::sheet {

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
    // Reset: the box did not come back, or its record or status could not be read after.
    QString notComingBack = QStringLiteral("%1 still not comming back !!!");

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
    QString invalidIpAddress = QStringLiteral(" The given IP address is invalid");
    QString invalidGateway = QStringLiteral(" The given Gateway address is invalid");
    QString invalidSubnetMask = QStringLiteral(" The given SubNet Mask is invalid");
    QString gatewayOutsideNetwork = QStringLiteral(" The given Gateway Address is invalid");
    // The IP page refuses a box that cannot speak TCP/IP with this text; empty:
    // the page shows such a box with its controls as the record allows.
    QString ipPageNoTcpIp;

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

    // What the framework says when a text does not fit its field or a number
    // does not read as one (%1: the field's limit).
    QString tooManyCharacters = QStringLiteral("Enter no more than %1 characters.");
    QString enterInteger = QStringLiteral("Please enter an integer.");

    // Device options page
    QString aliasNameEdit = QStringLiteral("Alias Name");
    QString diagnosticPrintOut = QStringLiteral("Diagnostic print out");
    QString factoryDefault = QStringLiteral("Factory Default");
    QString netbeuiSupport = QStringLiteral("NetBEUI Support");
    QString appletalkSupport = QStringLiteral("AppleTalk Support");
    QString aliasChanged =
        QStringLiteral("The Alias Name was changed, you have to 'RESET' it to make it work properly");

    // DHCP setup and DHCP information pages
    QString dhcpStartupGroup = QStringLiteral("DHCP startup");
    QString dhcpSetupGroup = QStringLiteral("DHCP  setup");
    QString enableButton = QStringLiteral("Enable");
    QString disableButton = QStringLiteral("Disable");
    QString ipSuffix = QStringLiteral(" IP"); // the print server IP label: title + this
    QString startingIpLabel = QStringLiteral("Starting IP");
    QString netmaskLabel = QStringLiteral("Netmask");
    QString gatewayIpLabel = QStringLiteral("Gateway IP");
    QString dnsServerLabel = QStringLiteral("DNS server");
    QString ipRangeLabel = QStringLiteral("IP range");
    QString noDhcp = QStringLiteral("'%1' do NOT support DHCP !!!");
    QString noTcpIp = QStringLiteral("'%1' do NOT support TCP/IP !!!");
    QString enableTcpIpFirst = QStringLiteral("You must ENABLE TCP/IP first!!");
    QString dhcpInvalidIp = QStringLiteral(" The IP address range given is invalid.");
    QString dhcpInvalidGateway = QStringLiteral(" The Gateway IP address range given is invalid.");
    QString dhcpInvalidStartingIp = QStringLiteral(" The Starting IP address range given is invalid.");
    QString dhcpInvalidNetmask = QStringLiteral(" The netmask is not valid.");
    QString dhcpRangeZero = QStringLiteral(" The specified range can't be zero");
    QString dhcpInvalidDns = QStringLiteral(" The DNS is not valid.");
    QString dhcpRangeLimit = QStringLiteral("IP range just can be from 1 to %1");
    QString noDhcpInformation = QStringLiteral("'%1' do NOT support DHCP !!!"); // the information page's
    QString dhcpStatusGroup = QStringLiteral("DHCP Status");
    QString dhcpStatusLabel = QStringLiteral("Status");
    QString nextAvailableIpLabel = QStringLiteral("Next abailable IP");

    // Mail printing page
    QString mailPollingLabel = QStringLiteral("Mail Polling Time:");
    QString minutesLabel = QStringLiteral("Minutes");
    QString printPortLabel = QStringLiteral("Print Port");
    QString mailServerLabel = QStringLiteral("Mail Server");
    QString mailAccountLabel = QStringLiteral("Mail Account");
    QString passwordLabel = QStringLiteral("Password");
    QString confirmPasswordLabel = QStringLiteral("Confirm Password");
    QString printMailHeader = QStringLiteral("Print Mail Header");
    QString printAllMails = QStringLiteral("Print All Mails");
    QString replyConfirmation = QStringLiteral("Reply Confirmation to Sender");
    QString noMailPrinting = QStringLiteral("'%1' do NOT support Mail Printing !!!");
    QString invalidMailServer = QStringLiteral("Invalid LPT%1 Mail Server !!\n");
    QString confirmPasswordIncorrect =
        QStringLiteral("LPT%1 \"Confirm Password\" is incorrect,\n Pleas Retype again.\n");

    // SNMP page
    QString systemContactLabel = QStringLiteral("System contact:");
    QString systemLocationLabel = QStringLiteral("System location:");

    // Upgrade page
    QString fileNameLabel = QStringLiteral("File Name");
    QString browseButton = QStringLiteral("Browse...");
    QString typeButtons[3] = {QStringLiteral("Type1"), QStringLiteral("Type2"), QStringLiteral("Type3")};
    QString upgradeButton = QStringLiteral("Upgrade");
    QString openFileCaption = QStringLiteral("Open");         // the file-open dialog
    QString binFileFilter = QStringLiteral("BinFile (*.bin)"); // its one filter
    QString upgradeProgressFormat = QStringLiteral("%v of %m blocks"); // QProgressBar placeholders
    // The page's messages, progress lines and protocol lines (vnkctl shows the same).
    const protocol::UpgradeTexts* upgradeTexts = &protocol::EnglishUpgradeTexts;
    const protocol::ProtocolTexts* protocolTexts = &protocol::EnglishProtocolTexts;
    bool upgradeSucceededInformation = false; // the IPX utility's success message has the information icon
};

struct PageParameters {
    PageTexts texts;
    // The IPX utility's pages refuse a box without runnable firmware; Brevan's
    // pages (but the printer status page) do not.
    bool firmwareGate = false;
    // The IP utility's Upgrade page refuses a box whose revision byte says it
    // cannot take firmware over UDP (and enables itself at the next activation);
    // the IPX utility's page has no such gate.
    bool udpUpgradeGate = true;
    // The code page of the boxes' 8-bit texts that are not UTF-8.
    platform::CodePage codePage = platform::CodePage::Windows1252;
    // The IPX utility's DHCP information page reads the status again each time
    // it is shown; Brevan's shows the status as the General page read it.
    bool dhcpInformationReadsStatus = false;
};

// Brevan's parameters: English texts, no firmware gate.
PageParameters brevanParameters();

} // namespace vnk::sheet
