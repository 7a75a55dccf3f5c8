#include "sheet/logo.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vnk::sheet {

using namespace Qt::StringLiterals;

namespace {

// A print server box: a dark case with a sheet of paper coming out of a slot and
// a row of port lights, on a rounded badge.
void drawBox(QPainter& p, const QRectF& r) {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal u = r.height() / 32.0;
    QLinearGradient badge(r.topLeft(), r.bottomLeft());
    badge.setColorAt(0, QColor(0x2F, 0x6F, 0x9F));
    badge.setColorAt(1, QColor(0x1B, 0x3F, 0x63));
    p.setPen(Qt::NoPen);
    p.setBrush(badge);
    p.drawRoundedRect(r, 5 * u, 5 * u);

    // the paper
    const QRectF paper(r.left() + r.width() * 0.32, r.top() + 4 * u, r.width() * 0.36, 13 * u);
    p.setBrush(Qt::white);
    p.drawRect(paper);
    p.setPen(QPen(QColor(0x9A, 0xA8, 0xB5), 0.8 * u));
    for (int line = 0; line < 3; ++line) {
        const qreal y = paper.top() + (3 + 3 * line) * u;
        p.drawLine(QPointF(paper.left() + 2 * u, y), QPointF(paper.right() - 2 * u, y));
    }

    // the case
    p.setPen(Qt::NoPen);
    const QRectF body(r.left() + r.width() * 0.16, r.top() + 14 * u, r.width() * 0.68, 12 * u);
    p.setBrush(QColor(0xE6, 0xEA, 0xEE));
    p.drawRoundedRect(body, 2 * u, 2 * u);
    p.setBrush(QColor(0x33, 0x3B, 0x44));
    p.drawRect(QRectF(body.left() + body.width() * 0.12, body.top() + 1.5 * u, body.width() * 0.76, 1.5 * u));

    // port lights
    const QColor lights[] = {QColor(0x3C, 0xC8, 0x4B), QColor(0x3C, 0xC8, 0x4B), QColor(0xF0, 0xB4, 0x28)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(lights[i]);
        p.drawEllipse(QPointF(body.left() + body.width() * (0.2 + 0.12 * i), body.bottom() - 3.5 * u),
                      1.3 * u, 1.3 * u);
    }
}

} // namespace

QPixmap builtInLogo() {
    QPixmap pm(48, 48);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    drawBox(p, QRectF(0, 8, 48, 32));
    return pm;
}

QPixmap programIconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    drawBox(p, QRectF(0, size / 8.0, size, size * 0.75));
    return pm;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(programIconPixmap(size));
    return icon;
}

QPixmap loadLogoFile(const QString& programDirectory) {
    QFile file(QDir(programDirectory).filePath(u"logo.bmp"_s));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&file, "bmp");
    reader.setDecideFormatFromContent(false);
    reader.setAutoDetectImageFormat(false);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > LogoMaxWidth || image.height() > LogoMaxHeight)
        image = image.scaled(LogoMaxWidth, LogoMaxHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return QPixmap::fromImage(image);
}

} // namespace vnk::sheet
