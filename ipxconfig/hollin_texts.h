// The IPX utility's texts: the Traditional Chinese table of the pages it shares
// with Brevan (with its switches: the firmware gate, no UDP upgrade gate, Big5
// for the boxes' 8-bit texts), and the texts of its own pages. Every Chinese
// text of the utility is in hollin_texts.cpp, which a test reads to check that
// the set-up's font has a glyph for each of its characters.
#pragma once

#include "sheet/page_texts.h"
#include "sheet/utility_main.h"

#include <QString>

namespace vnk::ipxconfig {

// The shared pages as the IPX utility shows them.
sheet::PageParameters hollinParameters();

// The texts of the pages only the IPX utility has. Texts that take the print
// server name use %1 where the name goes.
struct HollinTexts {
    // Tabs (the options page's tab is the title + sheet::PageTexts::optionsTabSuffix)
    QString netwareTab;        // "Netware 設定"
    QString remotePrinterTab;  // "遠端印表機"
    QString netwareInfoTab;    // "Netware 資訊"
    QString factoryDefaultTab; // "出廠預設值"

    // Messages of the NetWare pages
    QString noRemotePrinter; // "%1 不支援遠端印表機"
    // The framework's validation message for a number outside its range (%1 to %2).
    QString integerBetween;

    // NetWare settings page
    QString binderyMode;
    QString ndsMode;
    QString fileServerLabel;
    QString treeNameLabel;
    QString contextNameLabel;
    QString remotePrinter; // the check box, also on the remote printer page
    QString pollingLabel;
    QString secondsLabel;

    // NetWare information page
    QString networkAddressLabel;
    QString pollingIntervalLabel;
    QString printModeLabel;
    QString fileServerInfoLabel;
    QString ndsTreeLabel;
    QString loginStatusLabel;
    QString queuesGroup;

    // Remote printer page
    QString printServerLabel;
    QString printerNumberGroup;

    // Options page
    QString diagnosticPrintOut; // "自我測試頁"
    QString tcpipSupport;       // "TCP/IP 支援"
    QString netwareSupport;     // "NetWare 支援"
    QString netbeuiSupport;     // "NetBEUI 支援"
    QString appletalkSupport;   // "AppleTalk 支援"

    // Factory default page
    QString deviceNameLabel;    // "裝置名稱"
    QString dhcpServerLabel;    // "DHCP 伺服器"
    QString setDefaultsButton;  // "設成預設值"
    QString valueEnable;        // "Enable"
    QString valueDisable;       // "Disable"
    QString valueAuto;          // "Auto"
    QString valueMissing;       // "N/A"

    // Refusals at start-up: this PC has no IPX, or a setting of the environment
    // cannot be used.
    QString ipxNotSetUp;
    sheet::SettingTexts settings;
};

const HollinTexts& hollinTexts();

// The font family the utility asks for first: it has every glyph of its texts.
QString hollinFontFamily();

} // namespace vnk::ipxconfig
