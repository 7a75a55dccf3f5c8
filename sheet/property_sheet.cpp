#include "sheet/property_sheet.h"

#include "sheet/about_box.h"
#include "sheet/logo.h"
#include "protocol/pserver_context.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QProxyStyle>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace vnk::sheet {

using namespace Qt::StringLiterals;

namespace {
// Room for the pages with the most controls without a scroll bar.
constexpr int MinimumHeight = 420;
// What the window manager's frame may take of the screen's width.
constexpr int FrameAllowance = 16;
// The least room a tab keeps beside its caption (both sides together).
constexpr int MinimumTabSpace = 8;

// The application's style, with the room beside each tab's caption the sheet gives.
class TabSpacing final : public QProxyStyle {
public:
    explicit TabSpacing(int space) : m_space(space) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        return metric == PM_TabBarTabHSpace ? m_space : QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int m_space;
};
} // namespace

PropertySheet::PropertySheet(const QString& caption, protocol::CPServerContext& context, UiServices& ui,
                             PageParameters parameters, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_context(&context), m_ui(ui), m_parameters(std::move(parameters)), m_tabs(new QTabWidget(this)),
      m_buttons(new QDialogButtonBox(this)) {
    const PageTexts& t = m_parameters.texts;
    setWindowTitle(caption);
    setWindowIcon(programIcon());

    m_tabs->setObjectName(u"pages"_s);
    m_tabs->setUsesScrollButtons(true);
    m_tabs->tabBar()->installEventFilter(this);
    connect(m_tabs, &QTabWidget::currentChanged, this, &PropertySheet::onCurrentChanged);

    // The framework's sheet buttons. Nothing here writes to a box: OK and Cancel
    // end the sheet, Apply and Help stay disabled because no page has anything
    // to apply or a help topic.
    QPushButton* ok = m_buttons->addButton(t.okButton, QDialogButtonBox::AcceptRole);
    ok->setObjectName(u"ok"_s);
    ok->setDefault(true);
    m_buttons->addButton(t.cancelButton, QDialogButtonBox::RejectRole)->setObjectName(u"cancel"_s);
    QPushButton* apply = m_buttons->addButton(t.applyButton, QDialogButtonBox::ApplyRole);
    apply->setObjectName(u"apply"_s);
    apply->setEnabled(false);
    QPushButton* help = m_buttons->addButton(t.helpButton, QDialogButtonBox::HelpRole);
    help->setObjectName(u"help"_s);
    help->setEnabled(false);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* about = new QPushButton(t.aboutCommand, this);
    about->setObjectName(u"about"_s);
    about->setAutoDefault(false);
    connect(about, &QPushButton::clicked, this, &PropertySheet::openAbout);

    // What the system menu of the original sheet offered.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* aboutAction = new QAction(t.aboutCommand, this);
    aboutAction->setObjectName(u"aboutAction"_s);
    connect(aboutAction, &QAction::triggered, this, &PropertySheet::openAbout);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* minimize = new QAction(t.minimizeCommand, this);
    minimize->setObjectName(u"minimizeAction"_s);
    connect(minimize, &QAction::triggered, this, &QWidget::showMinimized);
    addActions({aboutAction, separator, minimize});

    auto* row = new QHBoxLayout;
    row->addWidget(about);
    row->addStretch(1);
    row->addWidget(m_buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(row);
}

PropertySheet::~PropertySheet() = default;

int PropertySheet::addPage(PropertyPage* page, const QString& caption) {
    page->attach(this);
    return m_tabs->addTab(page, caption);
}

int PropertySheet::pageCount() const {
    return m_tabs->count();
}

PropertyPage* PropertySheet::page(int index) const {
    return qobject_cast<PropertyPage*>(m_tabs->widget(index));
}

int PropertySheet::pageIndex(const PropertyPage* page) const {
    for (int i = 0; i < pageCount(); ++i)
        if (m_tabs->widget(i) == page)
            return i;
    return -1;
}

PropertyPage* PropertySheet::activePage() const {
    return page(activeIndex());
}

int PropertySheet::activeIndex() const {
    return m_started ? m_current : m_tabs->currentIndex();
}

void PropertySheet::setTabCaption(int index, const QString& caption) {
    m_tabs->setTabText(index, caption);
}

QString PropertySheet::tabCaption(int index) const {
    return m_tabs->tabText(index);
}

void PropertySheet::setAboutLines(const QString& copyright, const QString& version) {
    m_copyright = copyright;
    m_version = version;
}

std::unique_ptr<AboutBox> PropertySheet::makeAboutBox() {
    const PageTexts& t = m_parameters.texts;
    const QString title = QString::fromStdString(m_context->title);
    return std::make_unique<AboutBox>(t.aboutCaptionPrefix + title, title + t.configurationSuffix,
                                      m_copyright, m_version, t.okButton, this);
}

void PropertySheet::openAbout() {
    makeAboutBox()->exec();
}

QPushButton* PropertySheet::button(const QString& objectName) const {
    return findChild<QPushButton*>(objectName);
}

bool PropertySheet::setActivePage(int index) {
    if (index < 0 || index >= pageCount())
        return false;
    if (!m_started) {
        m_tabs->setCurrentIndex(index);
        return true;
    }
    if (index == m_current)
        return true;
    if (!leaveCurrentPage())
        return false;
    m_approved = index;
    m_tabs->setCurrentIndex(index);
    m_approved = -1;
    return m_current == index;
}

bool PropertySheet::setActivePage(PropertyPage* page) {
    return setActivePage(pageIndex(page));
}

bool PropertySheet::setActivePage(PageRole role) {
    return setActivePage(pageFor(role));
}

void PropertySheet::showEvent(QShowEvent* event) {
    if (!m_started) {
        // Every tab's caption in view: the sheet is as wide as its tabs need, up
        // to the screen's width less a window frame. Where that is not enough,
        // the tabs leave less room beside their captions when that brings them
        // all in view (down to MinimumTabSpace); on a screen narrower still they
        // keep their room and the tab bar its scroll buttons.
        QTabBar* bar = m_tabs->tabBar();
        const int sides = 2 * layout()->contentsMargins().left() + 8;
        int tabsWidth = bar->sizeHint().width() + sides;
        const int screenWidth =
            screen() != nullptr ? screen()->availableGeometry().width() - FrameAllowance : tabsWidth;
        if (tabsWidth > screenWidth && bar->count() > 0) {
            const int space = bar->style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, bar);
            const int less = (tabsWidth - screenWidth + bar->count() - 1) / bar->count();
            if (space - less >= MinimumTabSpace) {
                auto* spacing = new TabSpacing(space - less);
                spacing->setParent(this);
                bar->setStyle(spacing);
                tabsWidth = bar->sizeHint().width() + sides;
            }
        }
        if (width() < tabsWidth)
            resize(std::min(tabsWidth, screenWidth), height());
        if (height() < MinimumHeight)
            resize(width(), MinimumHeight);
        // The first page becomes active as the sheet appears.
        m_started = true;
        enterPage(m_tabs->currentIndex());
    }
    QDialog::showEvent(event);
}

bool PropertySheet::eventFilter(QObject* watched, QEvent* event) {
    // A click on another tab asks the current page first, before the tab bar
    // moves, so a refused change does not even flash the other page.
    if (watched == m_tabs->tabBar() && event->type() == QEvent::MouseButtonPress && m_started) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int index = m_tabs->tabBar()->tabAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && index >= 0 && index != m_current) {
            setActivePage(index);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Changes that did not come through setActivePage (the keyboard, the wheel on
// the tab bar) arrive here after the tab widget moved; a refusal moves it back.
void PropertySheet::onCurrentChanged(int index) {
    if (!m_started || m_returning || index == m_current)
        return;
    if (index != m_approved && !leaveCurrentPage()) {
        returnTo(m_current);
        return;
    }
    enterPage(index);
}

bool PropertySheet::leaveCurrentPage() {
    PropertyPage* current = page(m_current);
    return current == nullptr || current->onKillActive();
}

void PropertySheet::enterPage(int index) {
    const int previous = m_current;
    m_current = index;
    PropertyPage* p = page(index);
    if (p == nullptr)
        return;
    p->initialiseOnce();
    if (p->onSetActive() || previous < 0 || previous == index)
        return;
    // The page would not become active: the previous one comes back.
    m_current = previous;
    returnTo(previous);
    if (PropertyPage* back = page(previous))
        back->onSetActive();
}

void PropertySheet::returnTo(int index) {
    m_returning = true;
    m_tabs->setCurrentIndex(index);
    m_returning = false;
}

} // namespace vnk::sheet
