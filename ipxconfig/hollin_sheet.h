// The IPX utility's sheet: the fourteen pages in tab order. The pages it shares
// with Brevan are Brevan's classes given the IPX utility's parameters; under the
// IPX utility's own class names they are:
#pragma once

#include "transport/ipx/ipx_context.h"
#include "sheet/property_sheet.h"

namespace vnk::sheet {
class Page00;
class Page01;
class Page02;
class Page03;
class Page04;
class Page05;
class Page07;
class PopPrint;
class snmp;
} // namespace vnk::sheet

namespace vnk::ipxconfig {

using Page00 = sheet::Page00; // 一般設定
using Page01 = sheet::Page01; // IP 設定
using Page02 = sheet::Page02; // 印表機狀態
using Page03 = sheet::Page03; // Varnotek Status
using Page04 = sheet::Page07; // 軔體更新
using Page10 = sheet::Page04; // DHCP 設定
using Page11 = sheet::Page05; // DHCP 資訊
using PopPrint = sheet::PopPrint;
using snmp = sheet::snmp;
class Page05; // Netware 設定
class Page06; // Netware 資訊
class Page07; // 出廠預設值
class Page08; // Varnotek Cfg
class Page09; // 遠端印表機

class CPellamDlg : public sheet::PropertySheet {
    Q_OBJECT
public:
    // caption: title + " 設定程式". names: the names discovery found on the
    // bindery, for the NetWare pages' lists.
    CPellamDlg(const QString& caption, protocol::CPServerContext& context, const ipx::NameLists& names,
               sheet::UiServices& ui, sheet::PageParameters parameters, QWidget* parent = nullptr);

    Page00* page00() const { return m_page00; }
    Page03* page03() const { return m_page03; }
    Page02* page02() const { return m_page02; }
    Page01* page01() const { return m_page01; }
    Page05* page05() const { return m_page05; }
    Page09* page09() const { return m_page09; }
    Page06* page06() const { return m_page06; }
    Page08* page08() const { return m_page08; }
    Page07* page07() const { return m_page07; }
    Page04* page04() const { return m_page04; }
    Page10* page10() const { return m_page10; }
    Page11* page11() const { return m_page11; }
    PopPrint* popPrint() const { return m_popPrint; }
    snmp* snmpPage() const { return m_snmp; }

private:
    Page00* m_page00;
    Page03* m_page03;
    Page02* m_page02;
    Page01* m_page01;
    Page05* m_page05;
    Page09* m_page09;
    Page06* m_page06;
    Page08* m_page08;
    Page07* m_page07;
    Page04* m_page04;
    Page10* m_page10;
    Page11* m_page11;
    PopPrint* m_popPrint;
    snmp* m_snmp;
};

} // namespace vnk::ipxconfig
