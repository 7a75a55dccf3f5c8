#include "ipconfig/cpellam_dlg.h"

#include "sheet/page00.h"
#include "sheet/page01.h"
#include "sheet/page02.h"
#include "sheet/page03.h"
#include "sheet/page04.h"
#include "sheet/page05.h"
#include "sheet/page06.h"
#include "sheet/page07.h"
#include "sheet/pop_print.h"
#include "sheet/snmp.h"
#include "protocol/pserver_context.h"

namespace vnk::ipconfig {

CPellamDlg::CPellamDlg(const QString& caption, protocol::CPServerContext& context, sheet::UiServices& ui,
                       sheet::PageParameters parameters, QWidget* parent)
    : sheet::PropertySheet(caption, context, ui, std::move(parameters), parent) {
    const sheet::PageParameters& p = this->parameters();
    const sheet::PageTexts& t = p.texts;
    const QString title = QString::fromStdString(context.title);

    m_page00 = new sheet::Page00(context, ui, p);
    m_page03 = new sheet::Page03(context, ui, p);
    m_page02 = new sheet::Page02(context, ui, p);
    m_page06 = new sheet::Page06(context, ui, p);
    m_page01 = new sheet::Page01(context, ui, p);
    m_page04 = new sheet::Page04(context, ui, p);
    m_page05 = new sheet::Page05(context, ui, p);
    m_page07 = new sheet::Page07(context, ui, p);
    m_popPrint = new sheet::PopPrint(context, ui, p);
    m_snmp = new sheet::snmp(context, ui, p);

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

    setRole(sheet::PageRole::General, m_page00);
    setRole(sheet::PageRole::Upgrade, m_page07);
    setObjectName(QStringLiteral("CPellamDlg"));
}

} // namespace vnk::ipconfig
