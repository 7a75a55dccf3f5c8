#include "sheet/settings_page.h"

#include "sheet/page00.h"
#include "sheet/property_sheet.h"
#include "protocol/consistent_read.h"
#include "protocol/pserver_context.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>

namespace vnk::sheet {

SettingsPage::SettingsPage(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
                           Caption caption, bool withWriteReset, QWidget* parent)
    : PropertyPage(context, ui, parameters, parent), m_caption(caption), m_buttonBar(new QWidget(this)),
      m_buttonRow(new QHBoxLayout(m_buttonBar)) {
    m_buttonRow->setContentsMargins(0, 0, 0, 0);
    m_buttonRow->addStretch(1);
    if (withWriteReset) {
        m_write = new QPushButton(texts().writeButton, this);
        m_write->setObjectName(QStringLiteral("write"));
        m_reset = new QPushButton(texts().resetButton, this);
        m_reset->setObjectName(QStringLiteral("reset"));
        m_buttonRow->addWidget(m_write);
        m_buttonRow->addWidget(m_reset);
        connect(m_write, &QPushButton::clicked, this, &SettingsPage::write);
        connect(m_reset, &QPushButton::clicked, this, &SettingsPage::reset);
    }
}

void SettingsPage::onInitDialog() {
    PropertyPage::onInitDialog();
    // The buttons go last, under whatever the page put into its body.
    if (!m_bodyGrows)
        body()->addStretch(1);
    body()->addWidget(m_buttonBar);
    if (m_nameLabel)
        m_nameLabel->setText(title() + texts().nameSuffix);
}

QLineEdit* SettingsPage::addNameRow(QLayout* into) {
    m_nameLabel = new QLabel(this);
    auto* name = new QLineEdit(this);
    makeReadOnly(name);
    name->setMaxLength(48);
    name->setObjectName(QStringLiteral("serverName"));
    m_nameLabel->setBuddy(name);
    auto* row = new QHBoxLayout;
    row->addWidget(m_nameLabel);
    row->addWidget(name, 1);
    if (auto* box = qobject_cast<QBoxLayout*>(into ? into : body()))
        box->addLayout(row);
    return name;
}

protocol::ServerEntry* SettingsPage::entry() const {
    return context()->selectedEntry();
}

QString SettingsPage::serverName() const {
    const auto* e = entry();
    return e ? boxText(e->name()) : QString();
}

void SettingsPage::replaceServerListLine() {
    auto* general = sheet() ? qobject_cast<Page00*>(sheet()->pageFor(PageRole::General)) : nullptr;
    const int index = context()->selectedIndex;
    if (!general || !entry() || index < 0 || index >= general->serverList()->count())
        return;
    QComboBox* list = general->serverList();
    // Selecting a line on the General page reads that box's record and status
    // again, which would throw away the record a Write is about to send: the
    // line is replaced without the list telling anyone.
    const QSignalBlocker quiet(list);
    list->removeItem(index);
    list->insertItem(index, boxText(entry()->name()));
    list->setCurrentIndex(index);
}

void SettingsPage::setControlsEnabled(bool enabled) {
    for (auto* w : findChildren<QWidget*>())
        if (w != header() && !header()->isAncestorOf(w))
            w->setEnabled(enabled);
}

void SettingsPage::clearValues() {
    auto own = [&](QWidget* w) { return !header()->isAncestorOf(w); };
    for (auto* combo : findChildren<QComboBox*>())
        if (own(combo))
            combo->setCurrentIndex(-1);
    for (auto* edit : findChildren<QLineEdit*>()) // an editable choice's edit too
        if (own(edit))
            edit->clear();
    for (auto* button : findChildren<QAbstractButton*>()) {
        if (!own(button) || !button->isCheckable())
            continue;
        // A choice of one among several is cleared too: none is ticked.
        QButtonGroup* group = button->group();
        const bool exclusive = group && group->exclusive();
        const bool autoExclusive = button->autoExclusive();
        if (group)
            group->setExclusive(false);
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(autoExclusive);
        if (group)
            group->setExclusive(exclusive);
    }
    for (auto* list : findChildren<QTreeWidget*>())
        if (own(list))
            list->clear();
}

bool SettingsPage::onSetActive() {
    exchangeHeader();
    setEnabled(true);
    m_refused = false;
    if (!entry()) {
        // Nothing selected yet: the General page will not let this happen, but a
        // page must not read buffers that describe no box.
        clearValues();
        setControlsEnabled(false);
        setEnabled(false);
        return true;
    }
    const QString refusalText = firmwareGated() && firmwareMissing() ? texts().upgradeFirst : refusal();
    if (!refusalText.isEmpty()) {
        m_refused = true;
        appMessage(refusalText);
        // Nothing of the box selected before stays on the page.
        clearValues();
        setControlsEnabled(false);
        setEnabled(false);
        return true;
    }
    setControlsEnabled(true);
    fill();
    if (sheet())
        sheet()->setCaption(m_caption == Caption::ServerName ? serverName()
                                                             : title() + texts().configurationSuffix);
    return true;
}

bool SettingsPage::firmwareMissing() const {
    return parameters().firmwareGate && entry() && !protocol::firmwarePresent(entry()->identity);
}

void SettingsPage::fail(const QString& message, QWidget* focus, UiServices::Icon icon) {
    appMessage(message, UiServices::Ok, icon);
    if (focus)
        focus->setFocus(Qt::OtherFocusReason);
}

void SettingsPage::write() {
    protocol::ServerEntry* e = entry();
    if (!e || m_refused)
        return;
    if (!recordInHandSound(*e))
        return;
    if (!store())
        return;
    bool ok;
    {
        WaitCursor wait(ui());
        if (!confirmWrite())
            return;
        ok = context()->XWritePServerEEProm(*e, context()->configBuffer) == 1;
    }
    if (!ok) {
        appMessage(texts().cannotWriteEeprom);
        return;
    }
    written();
}

bool SettingsPage::recordInHandSound(protocol::ServerEntry& e) {
    protocol::ConfigFrame& inHand = context()->configBuffer;
    if (protocol::recordChecksumHolds(inHand)) {
        m_checked = inHand;
        return true;
    }
    // The record in hand may have been damaged on its way here, and a Write
    // sends every byte of it back. It is read again until a read can be trusted.
    // The Write goes on when that read is the record in hand (a box that leaves
    // its checksum stale) or the one this page last checked (the page stored its
    // fields, then was told not to send them). Otherwise nothing is sent, and
    // the page shows what the box really holds.
    protocol::ConfigFrame fresh{};
    protocol::ConsistentRead read;
    {
        WaitCursor wait(ui());
        read = protocol::readConsistentRecord(*context(), e, fresh);
    }
    auto same = [](const protocol::ConfigFrame& a, const protocol::ConfigFrame& b) {
        const auto x = protocol::recordOf(a);
        const auto y = protocol::recordOf(b);
        return std::equal(x.begin(), x.end(), y.begin());
    };
    if (read == protocol::ConsistentRead::Ok && (same(fresh, inHand) || same(fresh, m_checked))) {
        m_checked = fresh;
        return true;
    }
    if (read == protocol::ConsistentRead::Ok) {
        inHand = fresh;
        m_checked = fresh;
        fill();
    }
    appMessage(texts().cannotWriteEeprom);
    return false;
}

void SettingsPage::reset() {
    if (!entry())
        return;
    int failures = 0;
    {
        WaitCursor wait(ui());
        context()->resetAndReconnect([&](const std::string&) { ++failures; });
    }
    // One message for each failure: the box did not come back, or its record or
    // its status could not be read afterwards.
    for (int i = 0; i < failures; ++i)
        appMessage(texts().notComingBack.arg(serverName()));
}

QString dotted(const protocol::ConfigFrame& frame, std::size_t recordOffset) {
    return QString::fromStdString(protocol::dottedAt(frame, protocol::HeaderSize + recordOffset));
}

} // namespace vnk::sheet
