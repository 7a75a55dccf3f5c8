#include "ipxconfig/page08.h"

#include "ipxconfig/rules/hollin_options_rules.h"
#include "protocol/pserver_context.h"

#include <QFormLayout>

namespace vnk::ipxconfig {

using namespace protocol;

Page08::Page08(protocol::CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
       QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, true, parent) {
    const HollinTexts& h = hollinTexts();
    m_alias = new QLineEdit(this);
    m_alias->setObjectName(QStringLiteral("aliasName"));
    m_alias->setMaxLength(int(rules::MaxAliasLength));
    // Room for the longest alias, not the width of the sheet.
    m_alias->setMaximumWidth(m_alias->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 18);
    auto* form = new QFormLayout;
    form->addRow(texts().aliasNameEdit, m_alias);
    body()->addLayout(form);
    body()->addSpacing(6);

    m_diagnostic = new QCheckBox(h.diagnosticPrintOut, this);
    m_tcpip = new QCheckBox(h.tcpipSupport, this);
    m_netware = new QCheckBox(h.netwareSupport, this);
    m_netbeui = new QCheckBox(h.netbeuiSupport, this);
    m_appletalk = new QCheckBox(h.appletalkSupport, this);
    for (QCheckBox* box : {m_diagnostic, m_tcpip, m_netware, m_netbeui, m_appletalk})
        body()->addWidget(box);
}

void Page08::fill() {
    const auto rec = recordOf(context()->configBuffer);
    // The alias the box keeps, which may fill its field without a terminator.
    m_shownAlias = fieldText(rec, record::AliasName, 16);
    showBoxText(m_alias, m_shownAlias, int(rules::MaxAliasLength));
    const rules::HollinOptionSwitches s = rules::hollinOptionSwitches(rec);
    auto show = [](QCheckBox* box, rules::OptionSwitch sw) {
        box->setEnabled(sw.enabled);
        box->setChecked(sw.checked);
    };
    show(m_diagnostic, s.diagnostic);
    show(m_tcpip, s.tcpip);
    show(m_netware, s.netware);
    show(m_netbeui, s.netbeui);
    show(m_appletalk, s.appletalk);
}

bool Page08::store() {
    const std::string alias = boxBytes(m_alias->text(), m_shownAlias);
    // The edit counts characters; the box keeps bytes, and a name in other than
    // plain letters takes more than one byte a character.
    if (alias != entry()->name() && alias.size() > rules::MaxAliasLength) {
        fail(texts().tooManyCharacters.arg(rules::MaxAliasLength), m_alias);
        return false;
    }
    const auto rec = recordOf(context()->configBuffer);
    if (rules::applyAliasName(rec, *entry(), alias)) {
        replaceServerListLine();
        appMessage(texts().aliasChanged);
    }
    // A switch the model lacks is disabled and clear, and clears its bit.
    rules::HollinOptionValues v;
    v.diagnostic = m_diagnostic->isChecked();
    v.tcpip = m_tcpip->isChecked();
    v.netware = m_netware->isChecked();
    v.netbeui = m_netbeui->isChecked();
    v.appletalk = m_appletalk->isChecked();
    rules::storeHollinOptionBits(rec, v);
    return true;
}

} // namespace vnk::ipxconfig
