#include "ipxconfig/hollin_sheet.h"

#include "ipxconfig/hollin_texts.h"
#include "ipxconfig/page05.h"
#include "ipxconfig/page06.h"
#include "ipxconfig/page07.h"
#include "ipxconfig/page08.h"
#include "ipxconfig/page09.h"
#include "protocol/pserver_context.h"
#include "sheet/page00.h"
#include "sheet/page01.h"
#include "sheet/page02.h"
#include "sheet/page03.h"
#include "sheet/page04.h"
#include "sheet/page05.h"
#include "sheet/page07.h"
#include "sheet/pop_print.h"
#include "sheet/snmp.h"

namespace vnk::ipxconfig {

CPellamDlg::CPellamDlg(const QString& caption, protocol::CPServerContext& context, const ipx::NameLists& names,
                       sheet::UiServices& ui, sheet::PageParameters parameters, QWidget* parent)
    : PropertySheet(caption, context, ui, std::move(parameters), parent) {
    const sheet::PageParameters& p = this->parameters();
    const sheet::PageTexts& t = p.texts;
    const HollinTexts& h = hollinTexts();
    const QString title = QString::fromStdString(context.title);

    m_page00 = new Page00(context, ui, p);
    m_page03 = new Page03(context, ui, p);
    m_page02 = new Page02(context, ui, p);
    m_page01 = new Page01(context, ui, p);
    m_page05 = new Page05(context, ui, p, names);
    m_page09 = new Page09(context, ui, p, names);
    m_page06 = new Page06(context, ui, p);
    m_page08 = new Page08(context, ui, p);
    m_page07 = new Page07(context, ui, p);
    m_page04 = new Page04(context, ui, p);
    m_page10 = new Page10(context, ui, p);
    m_page11 = new Page11(context, ui, p);
    m_popPrint = new PopPrint(context, ui, p);
    m_snmp = new snmp(context, ui, p);

    addPage(m_page00, t.generalTab);
    addPage(m_page03, title + t.statusTabSuffix);
    addPage(m_page02, t.printerStatusTab);
    addPage(m_page01, t.ipTab);
    addPage(m_page05, h.netwareTab);
    addPage(m_page09, h.remotePrinterTab);
    addPage(m_page06, h.netwareInfoTab);
    addPage(m_page08, title + t.optionsTabSuffix);
    addPage(m_page07, h.factoryDefaultTab);
    addPage(m_page04, t.upgradeTab);
    addPage(m_page10, t.dhcpTab);
    addPage(m_page11, t.dhcpInformationTab);
    addPage(m_popPrint, t.mailTab);
    addPage(m_snmp, t.snmpTab);

    setRole(sheet::PageRole::General, m_page00);
    setRole(sheet::PageRole::Upgrade, m_page04);
    setObjectName(QStringLiteral("HollinSheet"));
}

} // namespace vnk::ipxconfig
