#include "SignatureStampRender.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace {

const QColor kTextColor(0x0f, 0x17, 0x2a);
const QColor kFrameColor(0x10, 0x77, 0x6f);
constexpr int kMinBaseWidth = 480;
constexpr int kMinBaseHeight = 220;
constexpr int kMinFontPx = 8;

QString tr(const char* text)
{
    return QCoreApplication::translate("SignatureStamp", text);
}

SignatureStampVariable defaultLine(const QString& text, double y, double h, const QString& font, double size)
{
    SignatureStampVariable line;
    line.text = text;
    line.x = 0.135;
    line.y = y;
    line.w = 0.825;
    line.h = h;
    line.font = font;
    line.fontSizePx = size;
    return line;
}

QRectF lineRect(const SignatureStampVariable& line, const QSize& picture)
{
    return QRectF(line.x * picture.width(), line.y * picture.height(), line.w * picture.width(),
                  line.h * picture.height());
}

bool isFinite(const QRectF& rect)
{
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width())
        && std::isfinite(rect.height());
}

// The pixel size of a line at the given scale; never below 8 and never
// above the picture's height, so a wild size in a file stays drawable.
int linePixelSize(double fontSizePx, double scale, int pictureHeight)
{
    const double wanted = std::round(fontSizePx * scale);
    const double ceiling = std::max(kMinFontPx, pictureHeight);
    if (!std::isfinite(wanted))
        return kMinFontPx;
    return int(std::clamp(wanted, double(kMinFontPx), ceiling));
}

// A bound on the characters a line can show in a picture pictureHeight
// pixels high at pixelSize: no glyph is narrower than a tenth of the size,
// no line of text lower than eight tenths. A text that long overflows its
// picture many times over; it is cut there, so a hostile template cannot
// make the layout take minutes.
qsizetype drawableCharacters(const QRectF& rect, int pixelSize, int pictureHeight)
{
    const double perLine = rect.width() / (pixelSize * 0.1) + 1;
    const double lines = pictureHeight / (pixelSize * 0.8) + 1;
    return qsizetype(std::min(perLine * lines, 1.0e7));
}

// Placeholders are filled in one pass, so a line of many fills in linear
// time and a value is never searched again; filling stops at limit.
QString filledText(const QString& text, const QHash<QString, QString>& values, qsizetype limit)
{
    static const QRegularExpression placeholder(QStringLiteral("\\{\\{([A-Z0-9_]+)\\}\\}"));
    QString filled;
    qsizetype from = 0;
    auto matches = placeholder.globalMatch(text);
    while (matches.hasNext() && filled.size() < limit) {
        const QRegularExpressionMatch match = matches.next();
        filled += QStringView(text).mid(from, match.capturedStart() - from);
        filled += values.value(match.captured(1));
        from = match.capturedEnd();
    }
    if (filled.size() < limit)
        filled += QStringView(text).mid(from);
    filled.truncate(limit);
    return filled;
}

} // namespace

QList<SignatureStampVariable> defaultSignatureStampVariables()
{
    const QString serif = QStringLiteral("Times New Roman");
    return {
        defaultLine(tr("Подписант: {{SIGNER}}"), 0.18, 0.075, serif, 32),
        defaultLine(tr("Сертификат: {{ALGORITHM}}, действует до {{VALID_TO}}"), 0.255, 0.07, serif, 28),
        defaultLine(tr("Издатель: {{ISSUER}}"), 0.325, 0.07, serif, 28),
        defaultLine(tr("Дата: {{DATETIME}}"), 0.395, 0.07, serif, 28),
        defaultLine(tr("SHA-256 исходного файла: {{SHA256}}"), 0.505, 0.35, QStringLiteral("Consolas"), 22),
    };
}

SignatureStampTemplate defaultSignatureStampTemplate()
{
    SignatureStampTemplate stamp;
    stamp.id = QStringLiteral("default");
    stamp.name = tr("Стандартный");
    stamp.builtIn = true;
    stamp.image = defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight));
    stamp.variables = defaultSignatureStampVariables();
    return stamp;
}

QImage defaultSignatureStampBase(QSize size)
{
    const int width = std::max(size.width(), kMinBaseWidth);
    const int height = std::max(size.height(), kMinBaseHeight);
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    const QRectF frame(8, 8, width - 16, height - 16);
    painter.setPen(QPen(kFrameColor, 4, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(QColor(255, 255, 255, 232));
    painter.drawRoundedRect(frame, 22, 22);

    const QRectF band(frame.x() + 20, frame.y() + 22, 118, frame.height() - 44);
    painter.setPen(Qt::NoPen);
    QColor tint = kFrameColor;
    tint.setAlpha(22);
    painter.setBrush(tint);
    painter.drawRoundedRect(band, 18, 18);

    painter.setPen(QPen(kFrameColor, 5, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const QPointF centre = band.center();
    painter.drawEllipse(QRectF(centre.x() - 34, centre.y() - 34, 68, 68));
    const QPointF bend(centre.x() - 4, centre.y() + 17);
    painter.drawLine(QPointF(centre.x() - 18, centre.y() + 1), bend);
    painter.drawLine(bend, QPointF(centre.x() + 24, centre.y() - 21));

    painter.setPen(kTextColor);
    QFont heading(QStringLiteral("Times New Roman"));
    heading.setPointSize(24);
    heading.setWeight(QFont::Bold);
    painter.setFont(heading);
    painter.drawText(QRectF(frame.x() + 160, frame.y() + 24, frame.width() - 184, frame.height() - 44),
                     Qt::AlignLeft | Qt::AlignTop, tr("Документ подписан электронной подписью"));
    return image;
}

QHash<QString, QString> sampleSignatureStampValues()
{
    const QString person = tr("Иванов Иван Иванович");
    const QDate today = QDate::currentDate();
    const QString dateFormat = QStringLiteral("dd.MM.yyyy");
    return {
        {QStringLiteral("SIGNER"), person},
        {QStringLiteral("SUBJECT"), tr("CN=%1").arg(person)},
        {QStringLiteral("ISSUER"), tr("Удостоверяющий центр")},
        {QStringLiteral("SERIAL"), QStringLiteral("01:23:45:67:89")},
        {QStringLiteral("THUMBPRINT"), QStringLiteral("AA:BB:CC:DD")},
        {QStringLiteral("ALGORITHM"), QStringLiteral("ГОСТ Р 34.10-2012 256")},
        {QStringLiteral("VALID_FROM"), today.addYears(-1).toString(dateFormat)},
        {QStringLiteral("VALID_TO"), today.addYears(1).toString(dateFormat)},
        {QStringLiteral("DATE"), today.toString(dateFormat)},
        {QStringLiteral("TIME"), QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))},
        {QStringLiteral("DATETIME"), QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))},
        {QStringLiteral("SHA256"),
         QStringLiteral("0123456789ABCDEF 0123456789ABCDEF 0123456789ABCDEF 0123456789ABCDEF")},
        {QStringLiteral("SHA256_SHORT"), QStringLiteral("0123456789ABCDEF")},
        {QStringLiteral("PROVIDER"), QStringLiteral("CryptoPro CSP")},
        {QStringLiteral("CONTAINER"), QStringLiteral("HDIMAGE\\container")},
        {QStringLiteral("STORE"), QStringLiteral("CurrentUser\\MY")},
    };
}

QImage renderSignatureStampTemplate(const SignatureStampTemplate& stamp, const QHash<QString, QString>& values,
                                    QSize size)
{
    QImage picture = stamp.image.isNull()
        ? defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight))
        : stamp.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QSize sourceSize = picture.size();
    if (size.width() > 0 && size.height() > 0 && size != picture.size())
        picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (picture.isNull())
        return picture;

    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double scale = sourceSize.height() > 0 ? double(picture.height()) / sourceSize.height() : 1.0;
    for (const SignatureStampVariable& line : stamp.variables) {
        const QRectF rect = lineRect(line, picture.size());
        if (!isFinite(rect) || rect.width() <= 0 || rect.height() <= 0)
            continue;
        QFont font(line.font.trimmed().isEmpty() ? QStringLiteral("Times New Roman") : line.font);
        const int pixelSize = linePixelSize(line.fontSizePx, scale, picture.height());
        font.setPixelSize(pixelSize);
        font.setWeight(line.bold ? QFont::Bold : QFont::Normal);
        font.setItalic(line.italic);
        painter.setFont(font);
        painter.setPen(line.color.isValid() ? line.color : kTextColor);
        QTextOption option(line.alignment);
        option.setWrapMode(QTextOption::WordWrap);
        painter.drawText(rect, filledText(line.text, values, drawableCharacters(rect, pixelSize, picture.height())),
                         option);
    }
    painter.end();
    return picture;
}

QPixmap stampTemplatePreviewPixmap(const SignatureStampTemplate& stamp, const QSize& size, int selectedVariable)
{
    const QSize renderSize = stamp.image.isNull() ? QSize(kStampPictureWidth, kStampPictureHeight) : stamp.image.size();
    QImage picture = renderSignatureStampTemplate(stamp, sampleSignatureStampValues(), renderSize);
    if (picture.isNull())
        picture = defaultSignatureStampBase(QSize(kStampPictureWidth, kStampPictureHeight));
    if (selectedVariable >= 0) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        for (int i = 0; i < stamp.variables.size(); ++i) {
            const QRectF rect = lineRect(stamp.variables.at(i), picture.size());
            if (!isFinite(rect))
                continue;
            if (i == selectedVariable)
                painter.setPen(QPen(QColor(0x25, 0x63, 0xeb), 4));
            else
                painter.setPen(QPen(QColor(0x14, 0xb8, 0xa6), 2, Qt::DashLine, Qt::SquareCap, Qt::BevelJoin));
            painter.drawRoundedRect(rect, 6, 6);
        }
    }
    return QPixmap::fromImage(picture).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
