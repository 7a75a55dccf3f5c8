#include "plugin/plugin_window.h"

#include "platform/endpoint.h"
#include "platform/registry.h"
#include "sheet/ui_error_reporter.h"

#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>

namespace vnk::plugin {

using namespace wol;

namespace {

QString caption() {
    return QString::fromLatin1(Caption);
}

// The edit boxes take letters in upper case, however they are typed or pasted.
// Only a-z change, so the text keeps its length and the cursor its place.
class UpperCase final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar& c : input)
            if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
                c = QChar(c.unicode() - 'a' + 'A');
        return Acceptable;
    }
};

QLineEdit* editBox(QWidget* parent, int id, const QRect& rect, std::size_t limit, const QString& text) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::number(id));
    box->setGeometry(rect);
    box->setFrame(true);
    box->setMaxLength(int(limit));
    box->setValidator(new UpperCase(box));
    QString upper = text;
    int pos = 0;
    box->validator()->validate(upper, pos);
    box->setText(upper);
    return box;
}

// A rectangle given as left, top, right, bottom.
QRect ltrb(int left, int top, int right, int bottom) {
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

PluginWindow::PluginWindow(QWidget* browserWindow, const InstanceData& owner, WorkServices services)
    : QWidget(browserWindow), m_owner(owner), m_services(std::move(services)), m_browserWindow(browserWindow) {
    setGeometry(browserWindow->rect());
    browserWindow->installEventFilter(this);
    show();
}

void PluginWindow::release() {
    if (m_browserWindow)
        m_browserWindow->removeEventFilter(this);
    m_browserWindow = nullptr;
}

bool PluginWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_browserWindow && event->type() == QEvent::Resize)
        setGeometry(m_browserWindow->rect());
    return QWidget::eventFilter(watched, event);
}

void PluginWindow::message(const QString& text, sheet::UiServices::Icon icon) {
    m_services.ui->message(caption(), text, icon, sheet::UiServices::Ok);
}

// A VNK_* setting that cannot be read would leave the real broadcast address in
// place: the work is not done, and the user is told why.
void PluginWindow::refuse(const std::string& why) {
    message(QString::fromStdString(why), sheet::UiServices::Icon::Warning);
}

void PluginWindow::startWork() {
    switch (m_owner.flags.mode()) {
    case Mode::Batch:
        batch();
        break;
    case Mode::MagicPacketForm:
        createForm();
        break;
    case Mode::DeviceList:
        listDevices();
        break;
    }
}

void PluginWindow::listDevices() {
    std::string error;
    const platform::Endpoint endpoint = platform::Endpoint::fromEnvironment(&error);
    if (!error.empty())
        return refuse(error);
    sheet::UiErrorReporter reporter(*m_services.ui, caption());
    bool keyFound = false, keyOpened = false;
    const std::string directory = administrationDirectory(&keyFound, &keyOpened);
    {
        sheet::WaitCursor wait(*m_services.ui);
        XGetTorvikPort(m_devices, endpoint, m_services.timing, directory, keyFound, reporter);
    }
    writeDevicePages(m_devices, directory, keyOpened, reporter);
    // The browser is sent on even when the pages could not be written.
    if (m_services.getUrl)
        m_services.getUrl("wbemmain.htm", "_parent");
}

void PluginWindow::createForm() {
    std::string error;
    const auto where = wolDestinationFromEnvironment(&error);
    if (!where)
        return refuse(error);
    m_wol = *where;
    const auto lastMac = lastSentMac();
    m_ipBox = editBox(this, IpBoxId, ltrb(0, 0, 130, 25), IpBoxLimit, QString::fromLatin1(DefaultIpText));
    m_macBox = editBox(this, MacBoxId, ltrb(0, 30, 130, 55), MacBoxLimit,
                       lastMac ? QString::fromStdString(*lastMac) : QString());
    m_sendButton = new QPushButton(QStringLiteral("Send"), this);
    m_sendButton->setObjectName(QString::number(SendButtonId));
    m_sendButton->setGeometry(ltrb(150, 30, 210, 55));
    connect(m_sendButton, &QPushButton::clicked, this, &PluginWindow::sendFromForm);
    for (QWidget* w : {static_cast<QWidget*>(m_ipBox), static_cast<QWidget*>(m_macBox),
                       static_cast<QWidget*>(m_sendButton)})
        w->show();
}

void PluginWindow::sendFromForm() {
    m_ipText = m_ipBox->text().toStdString();
    m_macText = m_macBox->text().toStdString();
    sheet::UiErrorReporter reporter(*m_services.ui, caption());
    switch (plugin::sendFromForm(m_ipText, m_macText, m_wol, m_services.timing, reporter)) {
    case WakeResult::Sent:
        message(QString::fromLatin1(SentText), sheet::UiServices::Icon::Information);
        break;
    case WakeResult::InvalidMac:
        message(QString::fromLatin1(InvalidEthernetIdText), sheet::UiServices::Icon::Critical);
        break;
    case WakeResult::SocketFailed:
    case WakeResult::Refused:
    case WakeResult::SendFailed:
        // Reported already; a packet that did not go out is not a success.
        break;
    }
}

void PluginWindow::batch() {
    std::string error;
    const auto where = wolDestinationFromEnvironment(&error);
    if (!where)
        return refuse(error);
    sheet::UiErrorReporter reporter(*m_services.ui, caption());
    batchSend(*where, m_services.timing, reporter);
}

} // namespace vnk::plugin
