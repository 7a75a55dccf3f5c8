// The plug-in window: a child of the window the browser gives an instance,
// filling it and following its size. It holds what the instance's work needs:
// the device list of the search, or the magic packet form with its two edit
// boxes and Send button. The work itself (search, pages, magic packets) is
// done by the functions of plugin/core; this window only wires them to the
// screen and to the browser.
#pragma once

#include "plugin/core/admin.h"
#include "plugin/npkova.h"
#include "sheet/ui_services.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;

namespace vnk::plugin {

// The ids of the form's controls; their limits and texts are in plugin/core.
inline constexpr int IpBoxId = 102, MacBoxId = 1000, SendButtonId = 1004;

// What a window's work uses from its surroundings.
struct WorkServices {
    sheet::UiServices* ui = nullptr;
    platform::Timing timing;
    // NPN_GetURL of the instance; does nothing when the browser gave no table.
    std::function<void(const char* url, const char* target)> getUrl;
};

class PluginWindow final : public QWidget {
    Q_OBJECT

public:
    PluginWindow(QWidget* browserWindow, const InstanceData& owner, WorkServices services);

    // The instance's work, by its mode: batch send, the form, or the search
    // with its pages and the browser sent to the frame page.
    void startWork();
    // Stops following the browser's window; called before the window is freed.
    void release();

    const std::vector<DeviceEntry>& devices() const { return m_devices; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void message(const QString& text, sheet::UiServices::Icon icon);
    void refuse(const std::string& why);
    void listDevices();
    void createForm();
    void sendFromForm();
    void batch();

    const InstanceData& m_owner;
    WorkServices m_services;
    QPointer<QWidget> m_browserWindow;

    std::vector<DeviceEntry> m_devices;

    QLineEdit* m_ipBox = nullptr;
    QLineEdit* m_macBox = nullptr;
    QPushButton* m_sendButton = nullptr;
    std::string m_ipText, m_macText;
    wol::WolDestination m_wol;
};

} // namespace vnk::plugin
