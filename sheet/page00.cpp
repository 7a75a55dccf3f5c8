#include "sheet/page00.h"

#include "sheet/property_sheet.h"
#include "protocol/identity.h"
#include "protocol/model_line.h"
#include "protocol/pserver_context.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QTimer>

namespace vnk::sheet {

using namespace Qt::StringLiterals;

namespace {
// Marks the page busy for one operation, so that nothing re-enters it while the
// protocol's waits let the window repaint.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyScope() { m_flag = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& m_flag;
};
} // namespace

Page00::Page00(protocol::CPServerContext& context, UiServices& ui, const PageParameters& parameters,
               QWidget* parent)
    : PropertyPage(context, ui, parameters, parent), m_listLabel(new QLabel(this)),
      m_serverList(new QComboBox(this)), m_modelLineEdit(new QLineEdit(this)),
      m_portGroup(new QButtonGroup(this)),
      m_testPrint(new QPushButton(parameters.texts.testPrintButton, this)),
      m_refresh(new QPushButton(parameters.texts.refreshButton, this)) {
    const PageTexts& t = parameters.texts;
    m_listLabel->setObjectName(u"listLabel"_s);
    m_listLabel->setTextFormat(Qt::PlainText);
    m_serverList->setObjectName(u"serverList"_s);
    m_serverList->setEditable(false);
    m_serverList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_serverList->setMinimumContentsLength(24);
    m_listLabel->setBuddy(m_serverList);
    m_modelLineEdit->setObjectName(u"modelLine"_s);
    m_modelLineEdit->setMaxLength(ModelLineLimit);
    m_modelLineEdit->setEnabled(false);
    m_refresh->setObjectName(u"refresh"_s);
    m_testPrint->setObjectName(u"testPrint"_s);

    auto* ports = new QGroupBox(t.portGroup, this);
    ports->setObjectName(u"portGroup"_s);
    auto* portGrid = new QGridLayout(ports);
    for (int i = 0; i < PortButtonCount; ++i) {
        auto* b = new QRadioButton(t.portNames[i], ports);
        b->setObjectName(t.portNames[i]);
        m_portButtons[std::size_t(i)] = b;
        m_portGroup->addButton(b, i);
        const bool serial = i >= FirstSerialButton;
        portGrid->addWidget(b, serial ? 1 : 0, serial ? i - FirstSerialButton : i);
    }
    portGrid->setColumnStretch(3, 1);

    auto* form = new QGridLayout;
    form->addWidget(m_listLabel, 0, 0, 1, 2);
    form->addWidget(m_serverList, 1, 0);
    form->addWidget(m_refresh, 1, 1);
    form->addWidget(m_modelLineEdit, 2, 0);
    form->setColumnStretch(0, 1);
    form->setHorizontalSpacing(12);

    auto* printRow = new QHBoxLayout;
    printRow->addStretch(1);
    printRow->addWidget(m_testPrint);

    // The controls keep the width of a dialog form; a wider sheet leaves room
    // on the right instead of stretching the list across it.
    auto* column = new QVBoxLayout;
    column->addLayout(form);
    column->addSpacing(10);
    column->addWidget(ports);
    column->addLayout(printRow);
    auto* row = new QHBoxLayout;
    row->addLayout(column, 3);
    row->addStretch(2);
    body()->addLayout(row);
    body()->addStretch(1);

    // Refresh is the page's first control; the list follows it.
    setTabOrder(m_refresh, m_serverList);
    setTabOrder(m_serverList, m_portButtons[0]);
    setTabOrder(m_portButtons[0], m_testPrint);

    connect(m_refresh, &QPushButton::clicked, this, &Page00::refresh);
    connect(m_serverList, &QComboBox::currentIndexChanged, this, &Page00::selectServer);
    connect(m_portButtons[0], &QRadioButton::clicked, this, [this] { portAndModelUpdate(1); });
    connect(m_portButtons[1], &QRadioButton::clicked, this, [this] { portAndModelUpdate(2); });
    connect(m_testPrint, &QPushButton::clicked, this, &Page00::testPrint);
}

void Page00::onInitDialog() {
    m_titleText = title();
    m_listLabelText = title() + texts().nameSuffix;
    showFields();
    // Discovery runs once by itself, as soon as the sheet is on the screen.
    QTimer::singleShot(0, this, [this] {
        if (m_firstActivation != 0)
            refresh();
    });
}

bool Page00::onSetActive() {
    if (sheet() != nullptr)
        sheet()->setCaption(title() + texts().configurationSuffix);
    if (m_firstActivation == 0)
        portAndModelUpdate(0);
    return true;
}

bool Page00::onKillActive() {
    // Every other page works on the server chosen here.
    return context()->serverCount != 0;
}

void Page00::refresh() {
    if (m_busy)
        return;
    protocol::CPServerContext& ctx = *context();
    {
        BusyScope busy(m_busy);
        ctx.serverCount = 0;
        {
            const QSignalBlocker quiet(m_serverList);
            m_serverList->clear();
        }
        {
            WaitCursor wait(ui());
            ctx.XGetPort(); // a socket failure was reported by XGetPort and left the table empty
        }
        m_firstActivation = 0;
        if (ctx.serverCount == 0) {
            setPortControlsEnabled(false);
            emit refreshFinished();
            return;
        }
        setPortControlsEnabled(true);
        {
            const QSignalBlocker quiet(m_serverList);
            for (int i = 0; i < ctx.serverCount; ++i)
                m_serverList->addItem(boxText(ctx.serverTable[std::size_t(i)].name()));
            m_serverList->setCurrentIndex(0);
        }
        showFields();
    }
    selectServer();
    if (sheet() == nullptr || sheet()->activePage() == this)
        m_serverList->setFocus();
    emit refreshFinished();
}

void Page00::selectServer() {
    if (m_busy)
        return;
    BusyScope busy(m_busy);
    protocol::CPServerContext& ctx = *context();
    ctx.selectedIndex = m_serverList->currentIndex();
    if (ctx.selectedIndex < 0)
        return;
    protocol::ServerEntry* entry = ctx.selectedEntry();
    if (entry == nullptr)
        return;
    // Reading a record or a status may take seconds from a box that does not
    // answer; the wait cursor says so, and is gone before any message.
    bool ok;
    {
        WaitCursor wait(ui());
        ok = ctx.XReadPServerEEProm(*entry, ctx.configBuffer) == 1;
    }
    if (!ok) {
        appMessage(texts().cannotReadEeprom);
        return;
    }
    if (!protocol::firmwarePresent(entry->identity)) {
        appMessage(texts().upgradedFailOnce.arg(boxText(entry->name())));
        if (sheet() != nullptr)
            sheet()->setActivePage(PageRole::Upgrade);
        return;
    }
    {
        WaitCursor wait(ui());
        ok = ctx.XGetPServerStatus(*entry, ctx.statusBuffer) == 1;
    }
    if (!ok) {
        appMessage(texts().cannotReadStatus);
        return;
    }
    portAndModelUpdate(0);
}

void Page00::portAndModelUpdate(int argument) {
    protocol::CPServerContext& ctx = *context();
    if (ctx.selectedIndex < 0)
        return;
    const protocol::ServerEntry* entry = ctx.selectedEntry();
    if (entry == nullptr)
        return;
    m_portIndex = portIndexForUpdate(argument);
    const auto rec = protocol::recordOf(ctx.configBuffer);
    ctx.parallelPortCount = protocol::parallelPorts(rec);
    ctx.serialPortCount = protocol::serialPorts(rec);
    const auto enabled = enabledPortButtons(ctx.parallelPortCount, ctx.serialPortCount);
    for (int i = 0; i < PortButtonCount; ++i)
        m_portButtons[std::size_t(i)]->setEnabled(enabled[std::size_t(i)]);
    m_modelLine =
        QString::fromStdString(protocol::modelLine(rec, entry->identity[protocol::identity::Flags]));
    showFields();
}

void Page00::testPrint() {
    if (m_busy)
        return;
    BusyScope busy(m_busy);
    takeFields();
    protocol::CPServerContext& ctx = *context();
    protocol::ServerEntry* entry = ctx.selectedEntry();
    if (entry == nullptr)
        return;
    WaitCursor wait(ui());
    ctx.XTestPrint(*entry, m_portIndex); // success or not, nothing is shown
}

void Page00::showFields() {
    exchangeHeader();
    m_modelLineEdit->setText(m_modelLine.left(ModelLineLimit));
    if (m_portIndex >= 0 && m_portIndex < PortButtonCount) {
        m_portButtons[std::size_t(m_portIndex)]->setChecked(true);
    } else {
        // No port marked: the group has to let go of its exclusive choice for a moment.
        m_portGroup->setExclusive(false);
        for (QRadioButton* b : m_portButtons)
            b->setChecked(false);
        m_portGroup->setExclusive(true);
    }
    header()->setTitle(m_titleText);
    m_listLabel->setText(m_listLabelText);
}

void Page00::takeFields() {
    m_portIndex = m_portGroup->checkedId();
}

void Page00::setPortControlsEnabled(bool enabled) {
    m_testPrint->setEnabled(enabled);
    for (QRadioButton* b : m_portButtons)
        b->setEnabled(enabled);
}

} // namespace vnk::sheet
