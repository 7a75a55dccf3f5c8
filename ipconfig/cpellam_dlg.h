// Brevan's sheet: the ten pages of the IP configuration utility, in tab order.
#pragma once

#include "sheet/property_sheet.h"

namespace vnk::sheet {
class Page00;
class Page01;
class Page02;
class Page03;
class Page04;
class Page05;
class Page06;
class Page07;
class PopPrint;
class snmp;
} // namespace vnk::sheet

namespace vnk::ipconfig {

class CPellamDlg : public sheet::PropertySheet {
    Q_OBJECT
public:
    // caption: title + " Configuration".
    CPellamDlg(const QString& caption, protocol::CPServerContext& context, sheet::UiServices& ui,
               sheet::PageParameters parameters, QWidget* parent = nullptr);

    sheet::Page00* page00() const { return m_page00; }
    sheet::Page03* page03() const { return m_page03; }
    sheet::Page02* page02() const { return m_page02; }
    sheet::Page06* page06() const { return m_page06; }
    sheet::Page01* page01() const { return m_page01; }
    sheet::Page04* page04() const { return m_page04; }
    sheet::Page05* page05() const { return m_page05; }
    sheet::Page07* page07() const { return m_page07; }
    sheet::PopPrint* popPrint() const { return m_popPrint; }
    sheet::snmp* snmpPage() const { return m_snmp; }

private:
    sheet::Page00* m_page00;
    sheet::Page03* m_page03;
    sheet::Page02* m_page02;
    sheet::Page06* m_page06;
    sheet::Page01* m_page01;
    sheet::Page04* m_page04;
    sheet::Page05* m_page05;
    sheet::Page07* m_page07;
    sheet::PopPrint* m_popPrint;
    sheet::snmp* m_snmp;
};

} // namespace vnk::ipconfig
