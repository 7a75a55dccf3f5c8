#include "sheet/about_box.h"

#include "sheet/logo.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vnk::sheet {

namespace {
QLabel* textLine(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}
} // namespace

AboutBox::AboutBox(const QString& caption, const QString& heading, const QString& copyright,
                   const QString& version, const QString& okText, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(caption);
    setWindowIcon(programIcon());
    auto* icon = new QLabel(this);
    icon->setPixmap(programIconPixmap(48));
    icon->setAlignment(Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->addWidget(textLine(heading, QStringLiteral("aboutHeading"), this));
    text->addWidget(textLine(copyright, QStringLiteral("aboutCopyright"), this));
    text->addWidget(textLine(version, QStringLiteral("aboutVersion"), this));
    text->addStretch(1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(okText, QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

QStringList AboutBox::lines() const {
    QStringList out;
    for (const char* name : {"aboutHeading", "aboutCopyright", "aboutVersion"})
        out.push_back(findChild<QLabel*>(QLatin1StringView(name))->text());
    return out;
}

} // namespace vnk::sheet
