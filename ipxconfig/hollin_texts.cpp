#include "ipxconfig/hollin_texts.h"

namespace vnk::ipxconfig {

sheet::PageParameters hollinParameters() {
    sheet::PageParameters p;
    p.firmwareGate = true;
    p.udpUpgradeGate = false;
    p.codePage = platform::CodePage::Big5;
    p.dhcpInformationReadsStatus = true;

    sheet::PageTexts& t = p.texts;
    t.configurationSuffix = QStringLiteral(" 設定程式");
    t.nameSuffix = QStringLiteral(" 名稱");
    t.aboutCaptionPrefix = QStringLiteral("關於 ");
    t.aboutCommand = QStringLiteral("關於(&A)");
    t.minimizeCommand = QStringLiteral("最小化");
    t.okButton = QStringLiteral("確定");
    t.cancelButton = QStringLiteral("取消");
    t.applyButton = QStringLiteral("套用(&A)");
    t.helpButton = QStringLiteral("說明");

    t.generalTab = QStringLiteral("一般設定");
    t.printerStatusTab = QStringLiteral("印表機狀態");
    t.ipTab = QStringLiteral("IP 設定");
    t.dhcpTab = QStringLiteral("DHCP 設定");
    t.dhcpInformationTab = QStringLiteral("DHCP 資訊");
    t.upgradeTab = QStringLiteral("軔體更新");
    t.mailTab = QStringLiteral("Mail Print 設定");
    t.snmpTab = QStringLiteral("SNMP 設定");

    t.refreshButton = QStringLiteral("更新");
    t.testPrintButton = QStringLiteral("列印測試頁");
    t.portGroup = QStringLiteral("列印伺服器埠");
    t.cannotReadEeprom = QStringLiteral("無法讀取列印伺服器的EEPROM");
    t.cannotReadStatus = QStringLiteral("無法讀取列印伺服器的狀態");
    t.upgradedFailOnce = QStringLiteral("%1 更新軔體不完全");

    t.writeButton = QStringLiteral("寫入");
    t.resetButton = QStringLiteral("重置");
    t.cannotWriteEeprom = QStringLiteral("無法寫入列印伺服器的EEPROM");
    t.notComingBack = QStringLiteral("%1 沒有回應");

    t.tcpipGroup = QStringLiteral("TCP/IP 設定");
    t.autoButton = QStringLiteral("自動");
    t.manualButton = QStringLiteral("手動");
    t.ipAddressLabel = QStringLiteral("IP 位址:");
    t.gatewayLabel = QStringLiteral("通訊閘:");
    t.subnetMaskLabel = QStringLiteral("子網路遮罩:");
    t.tcpipSupport = QStringLiteral("TCP/IP 支援");
    t.differentNetworkQuestion =
        QStringLiteral("您設置的IP位址與PC不在同一個網路上, 這樣可能會導致無法列印, 確定要繼續?");
    t.invalidIpAddress = QStringLiteral("指定的IP位址不合法");
    t.invalidGateway = QStringLiteral("指定的通訊閘不合法");
    t.invalidSubnetMask = QStringLiteral("指定的子網路遮罩不合法");
    t.gatewayOutsideNetwork = QStringLiteral("指定的通訊閘不合法");
    t.ipPageNoTcpIp = QStringLiteral("%1 不支援 TCP/IP 通訊協定");

    t.deviceNameLabel = QStringLiteral("裝置名稱");
    t.aliasNameLabel = QStringLiteral("列印伺服器別名");
    t.ethernetIdLabel = QStringLiteral("網路卡位址");
    t.frameTypeLabel = QStringLiteral("訊框類型");
    t.activeIpLabel = QStringLiteral("使用中的 IP");
    t.netbeuiLabel = QStringLiteral("NetBEUI");
    t.protocolLabel = QStringLiteral("支援的通訊協定");
    t.diagnosticLabel = QStringLiteral("自我測試頁");
    t.networkSpeedLabel = QStringLiteral("網路速度");

    t.portColumn = QStringLiteral("列印埠");
    t.statusColumn = QStringLiteral("印表機狀態");
    t.upgradeFirst = QStringLiteral("請先更新列印伺服器軔體");

    t.tooManyCharacters = QStringLiteral("最多只能輸入 %1 個字元。");
    t.enterInteger = QStringLiteral("請輸入整數。");

    t.aliasNameEdit = QStringLiteral("列印伺服器別名");
    t.diagnosticPrintOut = QStringLiteral("自我測試頁");
    t.factoryDefault = QStringLiteral("出廠預設值");
    t.netbeuiSupport = QStringLiteral("NetBEUI 支援");
    t.appletalkSupport = QStringLiteral("AppleTalk 支援");
    t.aliasChanged = QStringLiteral("列印伺服器別名已經改變, 必須[重置]使它生效");

    t.dhcpStartupGroup = QStringLiteral("DHCP 啟動方式");
    t.dhcpSetupGroup = QStringLiteral("DHCP 設定");
    t.enableButton = QStringLiteral("啟用");
    t.disableButton = QStringLiteral("停用");
    t.startingIpLabel = QStringLiteral("起始 IP");
    t.netmaskLabel = QStringLiteral("子網路遮罩");
    t.gatewayIpLabel = QStringLiteral("通訊閘 IP");
    t.dnsServerLabel = QStringLiteral("DNS 伺服器");
    t.ipRangeLabel = QStringLiteral("IP 範圍");
    t.noDhcp = QStringLiteral("%1 沒有支援 DHCP");
    t.noTcpIp = QStringLiteral("%1 沒有支援 TCP/IP");
    t.enableTcpIpFirst = QStringLiteral("必須先設定TCP/IP支援");
    t.dhcpInvalidIp = QStringLiteral("指定的IP不合法");
    t.dhcpInvalidGateway = QStringLiteral("指定的通訊閘不合法");
    t.dhcpInvalidStartingIp = QStringLiteral("指定的起始IP不合法");
    t.dhcpInvalidNetmask = QStringLiteral("指定的子網路遮罩不合法");
    t.dhcpRangeZero = QStringLiteral("指定的IP範圍不能為0");
    t.dhcpInvalidDns = QStringLiteral("指定的DNS伺服器不合法");
    t.dhcpRangeLimit = QStringLiteral("IP範圍只能從1到%1");
    t.noDhcpInformation = QStringLiteral("%1 不支援 DHCP");
    t.dhcpStatusGroup = QStringLiteral("DHCP 狀態");
    t.dhcpStatusLabel = QStringLiteral("狀態");
    t.nextAvailableIpLabel = QStringLiteral("下一個可用的 IP");

    t.mailPollingLabel = QStringLiteral("郵件檢查間隔:");
    t.minutesLabel = QStringLiteral("分鐘");
    t.printPortLabel = QStringLiteral("列印埠");
    t.mailServerLabel = QStringLiteral("郵件伺服器");
    t.mailAccountLabel = QStringLiteral("郵件帳號");
    t.passwordLabel = QStringLiteral("密碼");
    t.confirmPasswordLabel = QStringLiteral("確認密碼");
    t.printMailHeader = QStringLiteral("列印郵件標頭");
    t.printAllMails = QStringLiteral("列印所有郵件");
    t.replyConfirmation = QStringLiteral("回覆確認信給寄件者");
    t.noMailPrinting = QStringLiteral("%1 不支援 Mail Print");
    t.invalidMailServer = QStringLiteral("不合法的 LPT%1 郵件伺服器\n");
    t.confirmPasswordIncorrect = QStringLiteral("LPT%1 \"確認密碼\" 輸入不正確,\n 請重新輸入\n");

    t.systemContactLabel = QStringLiteral("系統聯絡人:");
    t.systemLocationLabel = QStringLiteral("系統位置:");

    t.fileNameLabel = QStringLiteral("檔案名稱");
    t.browseButton = QStringLiteral("瀏覽");
    t.upgradeButton = QStringLiteral("軔體更新");
    t.openFileCaption = QStringLiteral("開啟");
    t.upgradeProgressFormat = QStringLiteral("%v / %m 區塊");
    t.upgradeTexts = &protocol::ChineseUpgradeTexts;
    t.protocolTexts = &protocol::ChineseProtocolTexts;
    t.upgradeSucceededInformation = true;
    return p;
}

const HollinTexts& hollinTexts() {
    static const HollinTexts t{
        .netwareTab = QStringLiteral("Netware 設定"),
        .remotePrinterTab = QStringLiteral("遠端印表機"),
        .netwareInfoTab = QStringLiteral("Netware 資訊"),
        .factoryDefaultTab = QStringLiteral("出廠預設值"),
        .noRemotePrinter = QStringLiteral("%1 不支援遠端印表機"),
        .integerBetween = QStringLiteral("請輸入介於 %1 和 %2 之間的整數。"),
        .binderyMode = QStringLiteral("Bindery 模式"),
        .ndsMode = QStringLiteral("NDS 模式"),
        .fileServerLabel = QStringLiteral("File Server"),
        .treeNameLabel = QStringLiteral("Tree Name"),
        .contextNameLabel = QStringLiteral("Context Name"),
        .remotePrinter = QStringLiteral("遠端印表機"),
        .pollingLabel = QStringLiteral("輪詢時間"),
        .secondsLabel = QStringLiteral("秒"),
        .networkAddressLabel = QStringLiteral("網路位址"),
        .pollingIntervalLabel = QStringLiteral("輪詢時間"),
        .printModeLabel = QStringLiteral("列印模式"),
        .fileServerInfoLabel = QStringLiteral("檔案伺服器"),
        .ndsTreeLabel = QStringLiteral("NDS Tree"),
        .loginStatusLabel = QStringLiteral("登入狀態"),
        .queuesGroup = QStringLiteral("列印佇列"),
        .printServerLabel = QStringLiteral("NetWare 列印伺服器"),
        .printerNumberGroup = QStringLiteral("印表機編號"),
        .diagnosticPrintOut = QStringLiteral("自我測試頁"),
        .tcpipSupport = QStringLiteral("TCP/IP 支援"),
        .netwareSupport = QStringLiteral("NetWare 支援"),
        .netbeuiSupport = QStringLiteral("NetBEUI 支援"),
        .appletalkSupport = QStringLiteral("AppleTalk 支援"),
        .deviceNameLabel = QStringLiteral("裝置名稱"),
        .dhcpServerLabel = QStringLiteral("DHCP 伺服器"),
        .setDefaultsButton = QStringLiteral("設成預設值"),
        .valueEnable = QStringLiteral("Enable"),
        .valueDisable = QStringLiteral("Disable"),
        .valueAuto = QStringLiteral("Auto"),
        .valueMissing = QStringLiteral("N/A"),
        .ipxNotSetUp = QStringLiteral("這部電腦沒有設定 IPX: 請把 VNK_IPX_PORT 設為承載 IPX 網段的 UDP 埠 (實際的網段為 213)"),
        .settings = {QStringLiteral("%1 不是埠號: %2"), QStringLiteral("%1 不是 IPv4 位址: %2"),
                     QStringLiteral("%1 不是 IPX 節點號碼: %2")},
    };
    return t;
}

QString hollinFontFamily() {
    return QStringLiteral("Noto Sans CJK TC");
}

} // namespace vnk::ipxconfig
