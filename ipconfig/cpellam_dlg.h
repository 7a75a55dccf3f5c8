// Brevan's sheet: the ten pages of the IP configuration utility, in tab order.
#pragma once

#include "ipconfig/property_sheet.h"

namespace vnk::ipconfig {

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

class CPellamDlg : public PropertySheet {
    Q_OBJECT
public:
    // caption: title + " Configuration".
    CPellamDlg(const QString& caption, protocol::CPServerContext& context, UiServices& ui,
               PageParameters parameters, QWidget* parent = nullptr);

    Page00* page00() const { return m_page00; }
    Page03* page03() const { return m_page03; }
    Page02* page02() const { return m_page02; }
    Page06* page06() const { return m_page06; }
    Page01* page01() const { return m_page01; }
    Page04* page04() const { return m_page04; }
    Page05* page05() const { return m_page05; }
    Page07* page07() const { return m_page07; }
    PopPrint* popPrint() const { return m_popPrint; }
    snmp* snmpPage() const { return m_snmp; }

private:
    Page00* m_page00;
    Page03* m_page03;
    Page02* m_page02;
    Page06* m_page06;
    Page01* m_page01;
    Page04* m_page04;
    Page05* m_page05;
    Page07* m_page07;
    PopPrint* m_popPrint;
    snmp* m_snmp;
};

} // namespace vnk::ipconfig
