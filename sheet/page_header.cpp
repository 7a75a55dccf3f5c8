#include "sheet/page_header.h"

#include "sheet/logo.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace vnk::sheet {

PageHeader::PageHeader(QWidget* parent)
    : QWidget(parent), m_logo(new QLabel(this)), m_title(new QLabel(this)) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_logo->setObjectName(QStringLiteral("logo"));
    m_title->setObjectName(QStringLiteral("headerTitle"));
    m_logo->setPixmap(builtInLogo());
    m_logo->setMinimumSize(builtInLogo().size());
    m_logo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont f = m_title->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.35);
    m_title->setFont(f);
    m_title->setTextFormat(Qt::PlainText);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_logo);
    row->addSpacing(8);
    row->addWidget(m_title, 1);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(row);
    column->addWidget(rule);
}

void PageHeader::setTitle(const QString& title) {
    m_title->setText(title);
}

void PageHeader::refreshLogo(const QString& programDirectory) {
    const QPixmap fromFile = loadLogoFile(programDirectory);
    m_fromFile = !fromFile.isNull();
    m_logo->setPixmap(m_fromFile ? fromFile : builtInLogo());
}

} // namespace vnk::sheet
