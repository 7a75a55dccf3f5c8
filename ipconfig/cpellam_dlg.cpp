#include "ipconfig/cpellam_dlg.h"

#include "ipconfig/page00.h"
#include "ipconfig/page01.h"
#include "ipconfig/page02.h"
#include "ipconfig/page03.h"
#include "ipconfig/page04.h"
#include "ipconfig/page05.h"
#include "ipconfig/page06.h"
#include "ipconfig/page07.h"
#include "ipconfig/pop_print.h"
#include "ipconfig/snmp.h"
#include "protocol/pserver_context.h"

namespace vnk::ipconfig {

CPellamDlg::CPellamDlg(const QString& caption, protocol::CPServerContext& context, UiServices& ui,
                       PageParameters parameters, QWidget* parent)
    : PropertySheet(caption, context, ui, std::move(parameters), parent) {
    const PageParameters& p = this->parameters();
    const PageTexts& t = p.texts;
    const QString title = QString::fromStdString(context.title);

    m_page00 = new Page00(context, ui, p);
    m_page03 = new Page03(context, ui, p);
    m_page02 = new Page02(context, ui, p);
    m_page06 = new Page06(context, ui, p);
    m_page01 = new Page01(context, ui, p);
    m_page04 = new Page04(context, ui, p);
    m_page05 = new Page05(context, ui, p);
    m_page07 = new Page07(context, ui, p);
    m_popPrint = new PopPrint(context, ui, p);
    m_snmp = new snmp(context, ui, p);

    addPage(m_page00, t.generalTab);
    addPage(m_page03, title + t.statusTabSuffix);
    addPage(m_page02, t.printerStatusTab);
    addPage(m_page06, title + t.optionsTabSuffix);
    addPage(m_page01, t.ipTab);
    addPage(m_page04, t.dhcpTab);
    addPage(m_page05, t.dhcpInformationTab);
    addPage(m_page07, t.upgradeTab);
    addPage(m_popPrint, t.mailTab);
    addPage(m_snmp, t.snmpTab);

    setRole(PageRole::General, m_page00);
    setRole(PageRole::Upgrade, m_page07);
    setObjectName(QStringLiteral("CPellamDlg"));
}

} // namespace vnk::ipconfig
