#include "wizard/cmy_property_sheet.h"

#include "platform/box_text.h"
#include "protocol/records.h"

#include <QApplication>
#include <QButtonGroup>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

namespace vnk::wizard {

namespace rec = protocol::record;

namespace {

QString u(const char* utf8) { return QString::fromUtf8(utf8); }
QString u(const std::string& utf8) { return QString::fromStdString(utf8); }

// The pages measure 240 x 150 dialog units of an 8-point dialog font, about
// 1.5 pixels across and 1.625 down per unit.
constexpr int PageWidth = 360;
constexpr int PageHeight = 244;

// A box's name as the list shows it: UTF-8 when it is, else Big5.
QString shownName(const PServerRecord& entry) {
    return u(platform::decodeBoxText(pserverName(entry), platform::CodePage::Big5));
}

QLineEdit* readOnlyEdit(const char* id, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(id));
    e->setEnabled(false);
    return e;
}

void inform(WizardContext& ctx, const std::string& text) {
    ctx.ui.message(QStringLiteral("bot"), u(text), sheet::UiServices::Icon::Information, sheet::UiServices::Ok);
}

} // namespace

QString wizardFontFamily() { return QStringLiteral("Noto Sans CJK TC"); }

// --- the wait window ---

CWaitWindow::CWaitWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("131"));
    setWindowTitle(u("請稍後"));
    auto* label = new QLabel(u("正在搜尋列印伺服器..."), this);
    label->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    setFixedSize(240, 68); // 160 x 42 dialog units
    // Centred on the wizard when it is on the screen; the first search runs
    // while the wizard is still being opened, and then on the screen.
    if (parent && parent->window()->isVisible())
        move(parent->window()->frameGeometry().center() - rect().center());
    else if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void CWaitWindow::showDrawn() {
    show();
    // A window system maps and exposes a window a moment after it is shown, and
    // the search that follows blocks: wait (briefly) until the window is on the
    // screen, then draw it at once and hand the drawing to the display.
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < ExposeWaitMs)
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QGuiApplication::sync();
}

// --- page 1: the print servers on the LAN ---

CMyPropertyPage1::CMyPropertyPage1(WizardContext& ctx) : m_ctx(ctx) {
    setTitle(u("列印伺服器一覽: "));
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("1005"));
    m_list->setSortingEnabled(true);
    auto* choose = new QLabel(u("選擇列印伺服器: "), this);
    auto* group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(group);
    for (const char* line : {"如果您是初次安裝，列印", "伺服器的名稱您可以參照", "【列印伺服器】背面貼紙", "標示之 Device Name"})
        groupLayout->addWidget(new QLabel(u(line), group));
    auto* again = new QPushButton(u("重新搜尋"), this);
    again->setObjectName(QStringLiteral("1021"));
    connect(again, &QPushButton::clicked, this, [this] { search(); });

    auto* left = new QVBoxLayout;
    left->addWidget(choose);
    left->addWidget(m_list, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(group);
    right->addStretch(1);
    right->addWidget(again);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 3);
    layout->addLayout(right, 2);
    setMinimumSize(PageWidth, PageHeight);
}

void CMyPropertyPage1::initializePage() {
    // The page searches once when it first opens; Back to it does not search again.
    if (!m_searched) {
        m_searched = true;
        search();
    }
}

void CMyPropertyPage1::search() {
    m_list->clear();
    m_list->repaint(); // the old list goes before the search blocks
    {
        sheet::WaitCursor wait(m_ctx.ui);
        CWaitWindow window(this);
        window.showDrawn();
        searchProcedure(m_ctx.table, m_ctx.network);
    }
    for (int i = 0; i < m_ctx.table.count; ++i)
        m_list->addItem(shownName(m_ctx.table.servers[std::size_t(i)]));
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

bool CMyPropertyPage1::validatePage() {
    WizardServerTable& t = m_ctx.table;
    if (t.count == 0)
        return false; // the other pages have nothing to show
    t.changed = false;
    if (const QListWidgetItem* item = m_list->currentItem()) {
        for (int i = 0; i < t.count; ++i) {
            if (shownName(t.servers[std::size_t(i)]) != item->text())
                continue;
            t.chosen = i;
            PServerRecord& entry = t.servers[std::size_t(i)];
            const int ports = entry[pserver::PortConfig] & 3;
            for (int p = 0; p < ports; ++p)
                entry[pserver::PortMask] = Byte(entry[pserver::PortMask] | (1 << p));
            break;
        }
    }
    return true;
}

// --- page 2: the box's name ---

CMyPropertyPage2::CMyPropertyPage2(WizardContext& ctx) : m_ctx(ctx) {
    setTitle(u("列印伺服器名稱: "));
    m_deviceName = readOnlyEdit("1006", this);
    m_assignedName = new QLineEdit(this);
    m_assignedName->setObjectName(QStringLiteral("1007"));
    m_assignedName->setMaxLength(int(MaxAssignedNameBytes));
    // The name takes upper-case letters only, as the box's name field does.
    connect(m_assignedName, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QString upper = text.toUpper();
        if (upper != text) {
            const int cursor = m_assignedName->cursorPosition();
            m_assignedName->setText(upper.left(m_assignedName->maxLength()));
            m_assignedName->setCursorPosition(std::min(cursor, int(m_assignedName->text().size())));
        }
    });
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(u("裝置名稱: "), this), 0, 0);
    layout->addWidget(m_deviceName, 0, 1);
    layout->addWidget(new QLabel(u("【出廠設定值, 是系統唯一序號】"), this), 1, 1);
    layout->addWidget(new QLabel(u("指定名稱: "), this), 2, 0);
    layout->addWidget(m_assignedName, 2, 1);
    layout->addWidget(new QLabel(u("【可依實際需求自行設定, 便於使用及管理】"), this), 3, 1);
    layout->setRowStretch(4, 1);
    setMinimumSize(PageWidth, PageHeight);
}

void CMyPropertyPage2::initializePage() {
    const PServerRecord& entry = m_ctx.table.servers.at(std::size_t(m_ctx.table.chosen));
    m_deviceName->setText(u(factoryDeviceName(pserverMac(entry))));
    // A longer name the box already has is shown whole: only a new one must fit.
    const QString name = shownName(entry);
    m_assignedName->setMaxLength(std::max(int(MaxAssignedNameBytes), int(name.size())));
    m_assignedName->setText(name);
}

bool CMyPropertyPage2::validatePage() {
    if (page2Next(m_ctx.table, m_assignedName->text().toStdString()) == NameChoice::TooLong) {
        inform(m_ctx, text::NameTooLong);
        m_assignedName->setFocus();
        return false;
    }
    return true;
}

// --- page 3: protocols and the IP address ---

CMyPropertyPage3::CMyPropertyPage3(WizardContext& ctx) : m_ctx(ctx) {
    setTitle(u("網路列印通訊協定設定: "));
    auto* ipxGroup = new QGroupBox(QStringLiteral("IPX/NetBEUI"), this);
    m_note = new QLabel(ipxGroup);
    m_note->setObjectName(QStringLiteral("1020"));
    m_note->setWordWrap(true);
    (new QVBoxLayout(ipxGroup))->addWidget(m_note);

    auto* tcpGroup = new QGroupBox(QStringLiteral("TCP/IP"), this);
    m_fixed = new QRadioButton(u("指定列印伺服器 IP 位址"), tcpGroup);
    m_fixed->setObjectName(QStringLiteral("1014"));
    m_ip = new QLineEdit(tcpGroup);
    m_ip->setObjectName(QStringLiteral("1016"));
    m_ip->setMaxLength(15);
    m_keep = new QRadioButton(u("不更改 IP 設定"), tcpGroup);
    m_keep->setObjectName(QStringLiteral("1013"));
    m_radios = new QButtonGroup(this);
    m_radios->addButton(m_keep, 0);
    m_radios->addButton(m_fixed, 1);
    connect(m_fixed, &QRadioButton::clicked, this, [this] {
        m_ip->setEnabled(true);
        m_ip->setText(u(radio1Text(m_ip->text().toStdString(), pcAddress())));
    });
    connect(m_keep, &QRadioButton::clicked, this, [this] { m_ip->setEnabled(false); });
    auto* tcp = new QGridLayout(tcpGroup);
    tcp->addWidget(m_fixed, 0, 0, 1, 2);
    tcp->addWidget(new QLabel(u("IP 位址: "), tcpGroup), 1, 0);
    tcp->addWidget(m_ip, 1, 1);
    tcp->addWidget(m_keep, 2, 0, 1, 2);
    tcp->addWidget(new QLabel(u("IP 位址可於安裝後, 使用設定程式自行設定"), tcpGroup), 3, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ipxGroup);
    layout->addWidget(tcpGroup);
    layout->addStretch(1);
    setMinimumSize(PageWidth, PageHeight);
}

std::optional<Ipv4> CMyPropertyPage3::pcAddress() const {
    const auto found = platform::findFixedPcAddress(m_ctx.host);
    if (!found)
        return std::nullopt;
    const auto ip = parseWizardIp(found->address);
    return ip;
}

void CMyPropertyPage3::chooseRadio(int value) {
    (value == 1 ? m_fixed : m_keep)->setChecked(true);
    m_ip->setEnabled(value == 1 && m_fixed->isEnabled());
}

void CMyPropertyPage3::initializePage() {
    WizardServerTable& t = m_ctx.table;
    const std::size_t i = std::size_t(t.chosen);
    m_note->setText(u(protocolNote(t.servers.at(i)[pserver::Type], t.records.at(i)[rec::OptionFlags])));
    statusRead(t, m_ctx.network);
    const Page3Start start = page3Activate(t, pcAddress());
    m_keep->setEnabled(start.controlsEnabled);
    m_fixed->setEnabled(start.controlsEnabled);
    m_ip->setEnabled(start.controlsEnabled);
    m_ip->setText(u(start.ipText));
    chooseRadio(start.radio);
    if (start.noTcpIpMessage)
        inform(m_ctx, text::NeedTcpIp);
    if (start.subnetWarning)
        inform(m_ctx, text::SubnetWarning);
}

bool CMyPropertyPage3::validatePage() {
    if (!page3Next(m_ctx.table, m_radios->checkedId(), m_ip->text().toStdString())) {
        inform(m_ctx, text::InvalidIp);
        m_ip->setFocus();
        return false;
    }
    return true;
}

// --- page 4: the summary, and Finish ---

CMyPropertyPage4::CMyPropertyPage4(WizardContext& ctx) : m_ctx(ctx) {
    setTitle(u("新增 Network 連接埠: "));
    struct Field {
        const char* id;
        const char* label;
    };
    const Field fields[7] = {{"1006", "裝置名稱: "},    {"1007", "指定名稱: "},   {"1009", "IPX 列印: "},
                             {"1010", "NetBEUI 列印: "}, {"1011", "TCP/IP 列印: "}, {"1008", "IP 分派: "},
                             {"1016", "IP 位址: "}};
    auto* grid = new QGridLayout;
    for (int k = 0; k < 7; ++k) {
        grid->addWidget(new QLabel(u(fields[k].label), this), k, 0);
        m_fields[k] = readOnlyEdit(fields[k].id, this);
        grid->addWidget(m_fields[k], k, 1);
    }
    auto* group = new QGroupBox(this);
    auto* groupLayout = new QVBoxLayout(group);
    for (const char* line : {"按下完成鈕, 程式將會在", "您的 PC 上新增您所選定", "的 Network 連接埠"})
        groupLayout->addWidget(new QLabel(u(line), group));
    groupLayout->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(grid, 3);
    layout->addWidget(group, 2);
    setMinimumSize(PageWidth, PageHeight);
}

void CMyPropertyPage4::initializePage() {
    const Summary s = summary(m_ctx.table);
    const std::string* texts[7] = {&s.deviceName, &s.assignedName, &s.ipx,       &s.netbeui,
                                   &s.tcpIp,      &s.ipAssignment, &s.ipAddress};
    for (int k = 0; k < 7; ++k)
        m_fields[k]->setText(k == 1 ? u(platform::decodeBoxText(*texts[k], platform::CodePage::Big5)) : u(*texts[k]));
}

bool CMyPropertyPage4::validatePage() {
    // Finish: write what changed, then make the port; the wizard closes whatever happened.
    const auto* sheet = static_cast<const CMyPropertySheet*>(wizard());
    platform::Spooler spooler(m_ctx.stateDirectory);
    std::vector<std::string> messages;
    {
        sheet::WaitCursor wait(m_ctx.ui);
        messages = finish(m_ctx.table, m_ctx.network, platform::systemDirectory(spooler.stateDirectory()), spooler,
                          sheet->monitorName());
    }
    for (const std::string& message : messages)
        inform(m_ctx, message);
    return true;
}

// --- the sheet ---

CMyPropertySheet::CMyPropertySheet(WizardContext& ctx, std::string monitorName, QWidget* parent)
    : QWizard(parent), m_monitorName(std::move(monitorName)) {
    setWindowTitle(QStringLiteral("Wizard"));
    setWizardStyle(QWizard::ClassicStyle);
    setOptions(QWizard::NoBackButtonOnStartPage | QWizard::NoDefaultButton);
    setButtonText(QWizard::BackButton, u("< 上一步(&B)"));
    setButtonText(QWizard::NextButton, u("下一步(&N) >"));
    setButtonText(QWizard::FinishButton, u("完成"));
    setButtonText(QWizard::CancelButton, u("取消"));
    QFont f = font();
    if (QFontDatabase::families().contains(wizardFontFamily()))
        f.setFamilies({wizardFontFamily()});
    setFont(f);
    m_page1 = new CMyPropertyPage1(ctx);
    addPage(m_page1);
    addPage(new CMyPropertyPage2(ctx));
    addPage(new CMyPropertyPage3(ctx));
    addPage(new CMyPropertyPage4(ctx));
}

} // namespace vnk::wizard
