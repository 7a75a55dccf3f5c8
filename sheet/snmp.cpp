#include "sheet/snmp.h"

#include "sheet/rules/snmp_rules.h"
#include "protocol/pserver_context.h"

#include <QFormLayout>

#include <tuple>

namespace vnk::sheet {

using namespace protocol;

snmp::snmp(CPServerContext& context, UiServices& ui, const PageParameters& parameters, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::ServerName, true, parent) {
    const PageTexts& t = texts();
    m_contact = new QLineEdit(this);
    m_contact->setObjectName(QStringLiteral("systemContact"));
    m_location = new QLineEdit(this);
    m_location->setObjectName(QStringLiteral("systemLocation"));
    auto* form = new QFormLayout;
    for (QLineEdit* e : {m_contact, m_location}) {
        e->setMaxLength(int(rules::MaxSnmpTextLength));
        // Room for the longest text, not the width of the sheet.
        e->setMaximumWidth(e->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 18);
    }
    form->addRow(t.systemContactLabel, m_contact);
    form->addRow(t.systemLocationLabel, m_location);
    body()->addLayout(form);
}

void snmp::fill() {
    // The texts are shown whether or not the box has an SNMP agent; only a box
    // that has one lets them be changed.
    const bool enabled = rules::snmpEnabled(entry()->identity);
    for (QWidget* w : {static_cast<QWidget*>(m_contact), static_cast<QWidget*>(m_location),
                       static_cast<QWidget*>(writeButton()), static_cast<QWidget*>(resetButton())})
        w->setEnabled(enabled);
    m_shown = rules::snmpTexts(recordOf(context()->configBuffer));
    showBoxText(m_contact, m_shown.contact, int(rules::MaxSnmpTextLength));
    showBoxText(m_location, m_shown.location, int(rules::MaxSnmpTextLength));
}

bool snmp::store() {
    if (!rules::snmpEnabled(entry()->identity))
        return false;
    const rules::SnmpTexts values{boxBytes(m_contact->text(), m_shown.contact),
                                  boxBytes(m_location->text(), m_shown.location)};
    // The edits count characters; the box keeps bytes, and a text in other than
    // plain letters takes more than one byte a character. A text left as it was
    // goes back as it was, whatever its length.
    for (auto [text, shown, edit] : {std::tuple{&values.contact, &m_shown.contact, m_contact},
                                     std::tuple{&values.location, &m_shown.location, m_location}}) {
        if (*text != *shown && text->size() > rules::MaxSnmpTextLength) {
            fail(texts().tooManyCharacters.arg(rules::MaxSnmpTextLength), edit);
            return false;
        }
    }
    return rules::storeSnmpTexts(recordOf(context()->configBuffer), values);
}

} // namespace vnk::sheet
