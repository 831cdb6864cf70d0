#include "platform/linux/ui/TintedIconProvider.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>

namespace sayvo {

QImage TintedIconProvider::requestImage(const QString& id, QSize* size,
                                        const QSize& requestedSize) {
    const qsizetype slash = id.lastIndexOf(QLatin1Char('/'));
    const QString name = id.left(slash);
    const QString hex = slash < 0 ? QString() : id.mid(slash + 1);
    QFile file(QStringLiteral(":/icons/%1.svg").arg(name));
    if (slash < 0 || !file.open(QIODevice::ReadOnly)) return {};
    QByteArray svg = file.readAll();
    // "rrggbb" or, from a translucent colour, "aarrggbb". Only a well-formed
    // colour goes into the document.
    static const QRegularExpression colour(QStringLiteral("^([0-9a-fA-F]{2})?([0-9a-fA-F]{6})$"));
    const QRegularExpressionMatch match = colour.match(hex);
    int alpha = 255;
    if (match.hasMatch()) {
        svg.replace("#ffffff", "#" + match.captured(2).toLatin1());
        if (match.hasCaptured(1)) alpha = match.captured(1).toInt(nullptr, 16);
    }

    QBuffer buffer(&svg);
    QImageReader reader(&buffer, "svg");
    if (requestedSize.isValid()) reader.setScaledSize(requestedSize);
    QImage image = reader.read();
    if (alpha < 255 && !image.isNull()) {
        QImage faded(image.size(), QImage::Format_ARGB32_Premultiplied);
        faded.fill(Qt::transparent);
        QPainter painter(&faded);
        painter.setOpacity(alpha / 255.0);
        painter.drawImage(0, 0, image);
        painter.end();
        image = faded;
    }
    if (size) *size = image.size();
    return image;
}

}  // namespace sayvo
