// UiServices for tests and for rendering pages off screen: nothing is shown,
// every message is kept with its caption, icon and buttons, questions are answered
// from a script, and the wait cursor is counted.
#pragma once

#include "sheet/ui_services.h"

#include <QList>
#include <QStringList>

#include <deque>
#include <functional>

namespace vnk::sheet {

class RecordingUiServices final : public UiServices {
public:
    struct Message {
        QString caption;
        QString text;
        Icon icon = Icon::NoIcon;
        Buttons buttons = Ok;
        Button answer = NoButton;
        int waitDepth = 0; // how many wait cursors were up when it was shown
    };

    Button message(const QString& caption, const QString& text, Icon icon, Buttons buttons) override;
    void beginWait() override;
    void endWait() override;
    QString openFileName(const QString& caption, const QString& directory, const QString& filter) override;

    // Everything shown so far, oldest first.
    QList<Message> messages;
    // Answers for the next messages, in order. A message with an OK button only
    // needs none; when the script is empty, a question gets its cautious answer
    // (No or Cancel when offered), so an unscripted test never agrees to a write.
    std::deque<Button> answers;
    // File names the next file dialogs return ("" = cancelled when empty).
    std::deque<QString> files;
    QStringList fileDialogCaptions;
    // Called after each message was recorded (tests may act at that moment).
    std::function<void(const Message&)> onMessage;

    int waitDepth() const { return m_waitDepth; }
    int waitsBegun() const { return m_waitsBegun; }
    QStringList texts() const;

private:
    int m_waitDepth = 0;
    int m_waitsBegun = 0;
};

} // namespace vnk::sheet
