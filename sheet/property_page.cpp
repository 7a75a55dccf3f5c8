#include "sheet/property_page.h"

#include "protocol/pserver_context.h"

#include <algorithm>

namespace vnk::sheet {

PropertyPage::PropertyPage(protocol::CPServerContext& context, UiServices& ui,
                           const PageParameters& parameters, QWidget* parent)
    : QWidget(parent), m_context(&context), m_ui(ui), m_parameters(parameters),
      m_header(new PageHeader(this)), m_body(nullptr) {
    // The body takes the room under the header, so a page with few controls
    // (or none yet) still has its header at the top.
    auto* bodyWidget = new QWidget(this);
    bodyWidget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    m_body = new QVBoxLayout(bodyWidget);
    m_body->setContentsMargins(0, 0, 0, 0);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->addWidget(m_header);
    layout->addSpacing(6);
    layout->addWidget(bodyWidget, 1);
}

QString PropertyPage::title() const {
    return QString::fromStdString(m_context->title);
}

QString PropertyPage::programDirectory() const {
    return QString::fromStdString(m_context->programDirectory);
}

QString PropertyPage::boxText(const std::string& bytes) const {
    return QString::fromStdString(platform::decodeBoxText(bytes, m_parameters.codePage));
}

std::string PropertyPage::boxBytes(const QString& shown, const std::string& original) const {
    return platform::bytesForShownText(shown.toStdString(), original, m_parameters.codePage);
}

void PropertyPage::showBoxText(QLineEdit* edit, const std::string& bytes, int limit) const {
    const QString text = boxText(bytes);
    edit->setMaxLength(std::max(limit, int(text.size())));
    edit->setText(text);
}

void PropertyPage::makeReadOnly(QLineEdit* edit) {
    edit->setReadOnly(true);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
}

void PropertyPage::onInitDialog() {
    exchangeHeader();
}

void PropertyPage::exchangeHeader() {
    m_header->setTitle(title());
    m_header->refreshLogo(programDirectory());
}

UiServices::Button PropertyPage::appMessage(const QString& text, UiServices::Buttons buttons,
                                            UiServices::Icon icon) {
    return m_ui.appMessage(text, buttons, icon);
}

void PropertyPage::initialiseOnce() {
    if (m_initialised)
        return;
    m_initialised = true;
    onInitDialog();
}

} // namespace vnk::sheet
