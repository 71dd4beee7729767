#include "ThemedIcon.h"

#include "ButtonKit.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

namespace {

// Icons are small pictures; a larger file is not one of ours.
constexpr qint64 kLargestIconFile = 256 * 1024;

bool g_darkTheme = false;

// Light-theme colour → dark-theme colour, lower-case hex without '#'.
const QHash<QString, QString>& darkColours()
{
    static const QHash<QString, QString> colours{
        {QStringLiteral("334155"), QStringLiteral("cbd5e1")},  // slate strokes and fills
        {QStringLiteral("64748b"), QStringLiteral("94a3b8")},
        {QStringLiteral("0f172a"), QStringLiteral("e2e8f0")},
        {QStringLiteral("cbd5e1"), QStringLiteral("475569")},  // pale fills turn dim
        {QStringLiteral("2563eb"), QStringLiteral("60a5fa")},  // blue accents
        {QStringLiteral("1473e6"), QStringLiteral("60a5fa")},
        {QStringLiteral("dc2626"), QStringLiteral("f87171")},  // red accents
        {QStringLiteral("d14343"), QStringLiteral("f87171")},
        {QStringLiteral("16a34a"), QStringLiteral("4ade80")},  // green accents
        {QStringLiteral("eab308"), QStringLiteral("facc15")},  // yellow accents
    };
    return colours;
}

// The SVG text of a picture for one theme, read once per theme.
const QByteArray& iconSvg(const QString& path, bool dark)
{
    static QHash<QString, QByteArray> cache[2];
    QHash<QString, QByteArray>& texts = cache[dark ? 1 : 0];
    auto found = texts.constFind(path);
    if (found == texts.constEnd()) {
        QFile file(path);
        QByteArray svg;
        if (file.open(QIODevice::ReadOnly) && file.size() <= kLargestIconFile)
            svg = file.readAll();
        found = texts.insert(path, dark ? darkIconSvg(svg) : svg);
    }
    return *found;
}

// Draws a picture of the set for the theme in force; the drawing of each
// size, mode and theme is kept in the pixmap cache.
class ThemedSvgIconEngine : public QIconEngine {
public:
    explicit ThemedSvgIconEngine(QString path)
        : m_path(std::move(path))
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, scale));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        const QSize pixels = (QSizeF(actualSize(size, mode, state)) * scale).toSize();
        if (pixels.isEmpty())
            return {};
        const QString key = QStringLiteral("vorn-icon:%1:%2:%3x%4:%5")
                                .arg(m_path)
                                .arg(int(g_darkTheme))
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(int(mode));
        QPixmap drawn;
        if (QPixmapCache::find(key, &drawn))
            return drawn;
        drawn = draw(pixels, mode);
        drawn.setDevicePixelRatio(scale);
        QPixmapCache::insert(key, drawn);
        return drawn;
    }

    // The picture's proportions within the asked size.
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        QSvgRenderer renderer(iconSvg(m_path, false));
        const QSize natural = renderer.defaultSize();
        if (!renderer.isValid() || natural.isEmpty())
            return {};
        return natural.scaled(size, Qt::KeepAspectRatio);
    }

    QIconEngine* clone() const override { return new ThemedSvgIconEngine(m_path); }
    QString key() const override { return QStringLiteral("VornThemedSvg"); }
    bool isNull() override { return !QSvgRenderer(iconSvg(m_path, false)).isValid(); }

private:
    QPixmap draw(const QSize& pixels, QIcon::Mode mode) const
    {
        QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QSvgRenderer renderer(iconSvg(m_path, g_darkTheme));
        {
            QPainter painter(&image);
            renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
        }
        QPixmap pixmap = QPixmap::fromImage(image);
        // Disabled and selected looks as the style draws them for any icon.
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            pixmap = QApplication::style()->generatedIconPixmap(mode, pixmap, &option);
        }
        return pixmap;
    }

    QString m_path;
};

} // namespace

QIcon themedIcon(const QString& iconName)
{
    return QIcon(new ThemedSvgIconEngine(I(iconName)));
}

void setDarkThemeShown(bool dark)
{
    g_darkTheme = dark;
}

bool darkThemeShown()
{
    return g_darkTheme;
}

QByteArray darkIconSvg(const QByteArray& svg)
{
    static const QRegularExpression colour(QStringLiteral("#([0-9A-Fa-f]{6})(?![0-9A-Fa-f])"));
    QString text = QString::fromUtf8(svg);
    QString result;
    qsizetype at = 0;
    for (auto it = colour.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const auto dark = darkColours().constFind(match.captured(1).toLower());
        if (dark == darkColours().constEnd())
            continue;
        result += QStringView(text).mid(at, match.capturedStart() - at);
        result += QLatin1Char('#') + *dark;
        at = match.capturedEnd();
    }
    result += QStringView(text).mid(at);
    return result.toUtf8();
}
