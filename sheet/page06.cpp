#include "sheet/page06.h"

#include "sheet/property_sheet.h"
#include "sheet/rules/options_rules.h"
#include "protocol/pserver_context.h"

#include <QFormLayout>

namespace vnk::sheet {

using namespace protocol;

Page06::Page06(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, true, parent) {
    const PageTexts& t = texts();
    m_alias = new QLineEdit(this);
    m_alias->setObjectName(QStringLiteral("aliasName"));
    m_alias->setMaxLength(int(rules::MaxAliasLength));
    // Room for the longest alias, not the width of the sheet.
    m_alias->setMaximumWidth(m_alias->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 18);
    auto* form = new QFormLayout;
    form->addRow(t.aliasNameEdit, m_alias);
    body()->addLayout(form);
    body()->addSpacing(6);

    m_diagnostic = new QCheckBox(t.diagnosticPrintOut, this);
    m_netbeui = new QCheckBox(t.netbeuiSupport, this);
    m_appletalk = new QCheckBox(t.appletalkSupport, this);
    m_factoryDefault = new QCheckBox(t.factoryDefault, this);
    for (QCheckBox* box : {m_diagnostic, m_netbeui, m_appletalk})
        body()->addWidget(box);
    // Not a setting like the others: it replaces them all at the next Write.
    body()->addSpacing(10);
    body()->addWidget(m_factoryDefault);
    connect(m_factoryDefault, &QCheckBox::clicked, this, &Page06::factoryDefaultClicked);
}

void Page06::applyBoxStates(bool factoryDefaultTicked, bool setValues) {
    const rules::OptionBoxes b = rules::optionBoxes(recordOf(context()->configBuffer), factoryDefaultTicked);
    m_alias->setEnabled(b.aliasEnabled);
    m_diagnostic->setEnabled(b.diagnosticEnabled);
    m_netbeui->setEnabled(b.netbeuiEnabled);
    m_appletalk->setEnabled(b.appletalkEnabled);
    if (setValues) {
        m_diagnostic->setChecked(b.diagnostic);
        m_netbeui->setChecked(b.netbeui);
        m_appletalk->setChecked(b.appletalk);
    }
}

void Page06::fill() {
    m_shownAlias = rules::nameOrDeviceName(*entry());
    showBoxText(m_alias, m_shownAlias, int(rules::MaxAliasLength));
    m_factoryDefault->setChecked(false);
    applyBoxStates(false, true);
}

void Page06::factoryDefaultClicked() {
    // Unticked again, the boxes come back as the model allows, with what they showed.
    applyBoxStates(m_factoryDefault->isChecked(), false);
}

bool Page06::store() {
    rules::OptionsPageValues v;
    v.alias = boxBytes(m_alias->text(), m_shownAlias);
    v.diagnostic = m_diagnostic->isChecked();
    v.factoryDefault = m_factoryDefault->isChecked();
    // A box the model lacks is disabled and counts as clear.
    v.netbeui = m_netbeui->isEnabled() && m_netbeui->isChecked();
    v.appletalk = m_appletalk->isEnabled() && m_appletalk->isChecked();
    // The edit counts characters; the box keeps bytes, and a name in other than
    // plain letters takes more than one byte a character.
    if (v.alias != entry()->name() && v.alias.size() > rules::MaxAliasLength) {
        fail(texts().tooManyCharacters.arg(rules::MaxAliasLength), m_alias);
        return false;
    }
    const rules::OptionsWriteResult r = rules::applyOptionsPage(recordOf(context()->configBuffer), *entry(), v);
    if (!r.accepted)
        return false;
    if (r.nameChanged) {
        replaceServerListLine();
        appMessage(texts().aliasChanged);
    }
    return true;
}

} // namespace vnk::sheet
