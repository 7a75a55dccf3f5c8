#include "ipxconfig/page05.h"

#include "ipxconfig/rules/netware_rules.h"
#include "protocol/pserver_context.h"
#include "sheet/rules/options_rules.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>

namespace vnk::ipxconfig {

using namespace protocol;

QString netwareFailureText(const rules::NetwareFailure& failure, const sheet::PageTexts& texts) {
    if (failure.kind == rules::NetwareFailure::OutOfRange)
        return hollinTexts().integerBetween.arg(failure.low).arg(failure.high);
    return texts.tooManyCharacters.arg(failure.limit);
}

BoxNameCombo::BoxNameCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Room for a long NetWare name, not the width of the sheet.
    setMinimumContentsLength(40);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
}

void BoxNameCombo::fill(const sheet::PropertyPage& page, const std::vector<std::string>& entries,
                        const std::string& shown) {
    m_entries = entries;
    m_shown = shown;
    clear();
    for (const std::string& e : entries)
        addItem(page.boxText(e));
    setCurrentIndex(!shown.empty() && !entries.empty() && entries.front() == shown ? 0 : -1);
    setEditText(page.boxText(shown));
}

std::string BoxNameCombo::bytes(const sheet::PropertyPage& page) const {
    const QString text = currentText();
    for (const std::string& e : m_entries)
        if (page.boxText(e) == text)
            return e;
    return page.boxBytes(text, m_shown);
}

QComboBox* numberCombo(QWidget* parent, int low, int high, const char* objectName) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setObjectName(QLatin1String(objectName));
    for (int i = low; i <= high; ++i)
        box->addItem(QString::number(i));
    box->setMinimumContentsLength(3);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMaxVisibleItems(12);
    return box;
}

std::optional<int> comboNumber(const QComboBox* box) {
    bool ok = false;
    const int v = box->currentText().trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return v;
}

void showNumber(QComboBox* box, int value) {
    const QString text = QString::number(value);
    box->setCurrentIndex(box->findText(text));
    box->setEditText(text);
}

Page05::Page05(CPServerContext& context, sheet::UiServices& ui, const sheet::PageParameters& parameters,
               const ipx::NameLists& names, QWidget* parent)
    : SettingsPage(context, ui, parameters, Caption::TitleConfiguration, true, parent), m_names(names) {
    const HollinTexts& h = hollinTexts();

    m_alias = new QLineEdit(this);
    m_alias->setObjectName(QStringLiteral("aliasName"));
    m_alias->setMaxLength(int(rules::MaxAliasLength));
    m_alias->setMaximumWidth(m_alias->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 18);
    auto* aliasLabel = new QLabel(texts().aliasNameEdit, this);
    aliasLabel->setBuddy(m_alias);
    auto* aliasRow = new QHBoxLayout;
    aliasRow->addWidget(aliasLabel);
    aliasRow->addWidget(m_alias);
    aliasRow->addStretch(1);
    body()->addLayout(aliasRow);
    body()->addSpacing(6);

    // The two modes side by side, each over the names it prints through.
    auto* group = new QGroupBox(this);
    m_bindery = new QRadioButton(h.binderyMode, group);
    m_bindery->setObjectName(QStringLiteral("binderyMode"));
    m_nds = new QRadioButton(h.ndsMode, group);
    m_nds->setObjectName(QStringLiteral("ndsMode"));
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_bindery);
    modes->addButton(m_nds);
    m_fileServerLabel = new QLabel(h.fileServerLabel, group);
    m_fileServer = new BoxNameCombo(group);
    m_fileServer->setObjectName(QStringLiteral("fileServer"));
    m_treeLabel = new QLabel(h.treeNameLabel, group);
    m_tree = new BoxNameCombo(group);
    m_tree->setObjectName(QStringLiteral("treeName"));
    m_contextLabel = new QLabel(h.contextNameLabel, group);
    m_context = new QLineEdit(group);
    m_context->setObjectName(QStringLiteral("contextName"));
    m_context->setMaxLength(int(rules::MaxContextLength));
    m_context->setMaximumWidth(m_context->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 18);
    m_fileServerLabel->setBuddy(m_fileServer);
    m_treeLabel->setBuddy(m_tree);
    m_contextLabel->setBuddy(m_context);

    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(10);
    grid->addWidget(m_bindery, 0, 0, 1, 2);
    grid->addWidget(m_fileServerLabel, 1, 0);
    grid->addWidget(m_fileServer, 1, 1);
    grid->addWidget(m_nds, 2, 0, 1, 2);
    grid->addWidget(m_treeLabel, 3, 0);
    grid->addWidget(m_tree, 3, 1);
    grid->addWidget(m_contextLabel, 4, 0);
    grid->addWidget(m_context, 4, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowMinimumHeight(2, m_nds->sizeHint().height() + 8);
    grid->setAlignment(m_nds, Qt::AlignBottom);
    body()->addWidget(group);
    body()->addSpacing(6);

    m_remotePrinter = new QCheckBox(h.remotePrinter, this);
    m_remotePrinter->setObjectName(QStringLiteral("remotePrinter"));
    m_polling = numberCombo(this, rules::MinPolling, rules::MaxPolling, "polling");
    auto* pollingLabel = new QLabel(h.pollingLabel, this);
    pollingLabel->setBuddy(m_polling);
    auto* lastRow = new QHBoxLayout;
    lastRow->addWidget(m_remotePrinter);
    lastRow->addSpacing(30);
    lastRow->addWidget(pollingLabel);
    lastRow->addWidget(m_polling);
    lastRow->addWidget(new QLabel(h.secondsLabel, this));
    lastRow->addStretch(1);
    body()->addLayout(lastRow);

    connect(m_bindery, &QRadioButton::clicked, this, &Page05::binderyClicked);
    connect(m_nds, &QRadioButton::clicked, this, &Page05::ndsClicked);
    connect(m_remotePrinter, &QCheckBox::clicked, this, &Page05::remotePrinterClicked);
}

void Page05::applyControlStates() {
    const rules::NetwareMode mode =
        m_nds->isChecked() ? rules::NetwareMode::Nds : rules::NetwareMode::Bindery;
    const rules::NetwareSettingsControls c =
        rules::netwareSettingsControls(recordOf(context()->configBuffer), mode, m_remotePrinter->isChecked());
    m_alias->setEnabled(c.name);
    m_bindery->setEnabled(c.binderyButton);
    m_nds->setEnabled(c.ndsButton);
    m_treeLabel->setEnabled(c.ndsLabels);
    m_contextLabel->setEnabled(c.ndsLabels);
    m_fileServer->setEnabled(c.fileServer);
    m_tree->setEnabled(c.tree);
    m_context->setEnabled(c.context);
    m_remotePrinter->setEnabled(c.remotePrinter);
    m_polling->setEnabled(c.polling);
}

void Page05::fill() {
    const auto rec = recordOf(context()->configBuffer);
    const rules::NetwareSettingsValues v = rules::netwareSettingsValues(rec);
    m_shownAlias = v.alias;
    showBoxText(m_alias, v.alias, int(rules::MaxAliasLength));
    m_fileServer->fill(*this, rules::nameChoices(v.fileServer, m_names.fileServers), v.fileServer);
    m_tree->fill(*this, rules::treeChoices(rec, m_names.ndsTrees), v.tree);
    m_shownContext = v.context;
    showBoxText(m_context, v.context, int(rules::MaxContextLength));
    (v.mode == rules::NetwareMode::Nds ? m_nds : m_bindery)->setChecked(true);
    m_remotePrinter->setChecked(v.remotePrinter);
    showNumber(m_polling, v.polling);
    applyControlStates();
    // With NetWare switched off the page shows the settings and takes none.
    if (rules::netwareOff(rec)) {
        setControlsEnabled(false);
        setEnabled(false);
    }
}

void Page05::binderyClicked() {
    applyControlStates();
}

void Page05::ndsClicked() {
    applyControlStates();
}

void Page05::remotePrinterClicked() {
    applyControlStates();
}

bool Page05::store() {
    const std::optional<int> polling = comboNumber(m_polling);
    if (!polling) {
        fail(texts().enterInteger, m_polling);
        return false;
    }
    rules::NetwareSettingsValues v;
    v.alias = boxBytes(m_alias->text(), m_shownAlias);
    v.mode = m_nds->isChecked() ? rules::NetwareMode::Nds : rules::NetwareMode::Bindery;
    v.fileServer = m_fileServer->bytes(*this);
    v.tree = m_tree->bytes(*this);
    v.context = boxBytes(m_context->text(), m_shownContext);
    v.remotePrinter = m_remotePrinter->isChecked();
    v.polling = *polling;
    const rules::NetwareSettingsWrite w =
        rules::storeNetwareSettings(recordOf(context()->configBuffer), *entry(), v);
    if (w.failure) {
        QWidget* focus = m_polling;
        switch (w.failure->field) {
        case rules::NetwareField::Alias:
            focus = m_alias;
            break;
        case rules::NetwareField::FileServer:
            focus = m_fileServer;
            break;
        case rules::NetwareField::Tree:
            focus = m_tree;
            break;
        case rules::NetwareField::Context:
            focus = m_context;
            break;
        default:
            break;
        }
        fail(netwareFailureText(*w.failure, texts()), focus);
        return false;
    }
    if (w.nameChanged) {
        replaceServerListLine();
        appMessage(texts().aliasChanged);
    }
    return true;
}

} // namespace vnk::ipxconfig
