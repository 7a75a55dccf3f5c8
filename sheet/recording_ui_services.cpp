#include "sheet/recording_ui_services.h"

namespace vnk::sheet {

namespace {
UiServices::Button cautiousAnswer(UiServices::Buttons buttons) {
    for (UiServices::Button b : {UiServices::No, UiServices::Cancel, UiServices::Ok, UiServices::Yes})
        if (buttons & b)
            return b;
    return UiServices::Ok;
}
} // namespace

UiServices::Button RecordingUiServices::message(const QString& caption, const QString& text, Icon icon,
                                                Buttons buttons) {
    Message m{caption, text, icon, buttons, NoButton, m_waitDepth};
    if (!answers.empty()) {
        m.answer = answers.front();
        answers.pop_front();
    } else {
        m.answer = cautiousAnswer(buttons);
    }
    messages.push_back(m);
    if (onMessage)
        onMessage(m);
    return m.answer;
}

void RecordingUiServices::beginWait() {
    ++m_waitDepth;
    ++m_waitsBegun;
}

void RecordingUiServices::endWait() {
    if (m_waitDepth > 0)
        --m_waitDepth;
}

QString RecordingUiServices::openFileName(const QString& caption, const QString&, const QString&) {
    fileDialogCaptions.push_back(caption);
    if (files.empty())
        return {};
    QString f = files.front();
    files.pop_front();
    return f;
}

QStringList RecordingUiServices::texts() const {
    QStringList t;
    for (const Message& m : messages)
        t.push_back(m.text);
    return t;
}

} // namespace vnk::sheet
