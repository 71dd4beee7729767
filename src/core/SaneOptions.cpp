#include "SaneOptions.h"

#include "ScanEngine.h"

#include <QtEndian>

#include <cmath>
#include <limits>

namespace SaneOptions {

namespace {

int channelsOf(SANE_Frame format)
{
    switch (format) {
    case SANE_FRAME_GRAY:
        return 1;
    case SANE_FRAME_RGB:
        return 3;
    default:
        return 0;  // the separate frames of three-pass devices are not joined
    }
}

// Sample number index of a line, scaled to 0 … 255. A grey bit of 1 is
// black; a colour bit of 1 is full intensity.
uchar sampleAt(const uchar* line, int index, int depth, bool grey)
{
    if (depth == 8)
        return line[index];
    if (depth == 16)
        return static_cast<uchar>(qFromUnaligned<quint16>(line + 2 * index) >> 8);
    const bool set = (line[index / 8] >> (7 - index % 8)) & 1;
    return set != grey ? 255 : 0;
}

// A 1-bit grey frame as it came, one bit a pixel: SANE's 1 is black.
QImage lineArt(const uchar* data, int width, int height, qint64 stride, int dpi)
{
    QImage image(width, height, QImage::Format_Mono);
    if (image.isNull())
        return QImage();
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    const size_t rowBytes = size_t(width + 7) / 8;
    for (int y = 0; y < height; ++y)
        memcpy(image.scanLine(y), data + y * stride, rowBytes);
    image.setDotsPerMeterX(scanDotsPerMeter(dpi));
    image.setDotsPerMeterY(scanDotsPerMeter(dpi));
    return image;
}

}  // namespace

bool writable(const SANE_Option_Descriptor& option)
{
    return SANE_OPTION_IS_ACTIVE(option.cap) && SANE_OPTION_IS_SETTABLE(option.cap);
}

SANE_Word wordFor(const SANE_Option_Descriptor& option, int value)
{
    return option.type == SANE_TYPE_FIXED ? SANE_FIX(static_cast<double>(value)) : value;
}

int intFrom(const SANE_Option_Descriptor& option, SANE_Word word)
{
    return option.type == SANE_TYPE_FIXED ? static_cast<int>(std::lround(SANE_UNFIX(word))) : word;
}

QList<int> resolutions(const SANE_Option_Descriptor& option, const QList<int>& fallback)
{
    if (option.constraint_type != SANE_CONSTRAINT_WORD_LIST || !option.constraint.word_list)
        return fallback;
    const SANE_Word* words = option.constraint.word_list;
    QList<int> result;
    for (int i = 1; i <= words[0]; ++i)
        result.append(intFrom(option, words[i]));
    return result.isEmpty() ? fallback : result;
}

QString modeFor(const SANE_Option_Descriptor& option, int colorMode, bool* threshold)
{
    *threshold = false;
    const QString wanted = colorMode == 0 ? QStringLiteral("Color")
                           : colorMode == 1 ? QStringLiteral("Gray")
                                            : QStringLiteral("Lineart");
    if (option.type != SANE_TYPE_STRING)
        return QString();
    if (option.constraint_type != SANE_CONSTRAINT_STRING_LIST || !option.constraint.string_list)
        return wanted;
    bool hasGray = false;
    for (const SANE_String_Const* item = option.constraint.string_list; *item; ++item) {
        const QString mode = QString::fromUtf8(*item);
        if (mode == wanted)
            return wanted;
        hasGray = hasGray || mode == QLatin1String("Gray");
    }
    if (colorMode >= 2 || colorMode < 0) {
        *threshold = true;
        return hasGray ? QStringLiteral("Gray") : QString();
    }
    return QString();
}

QString frameRefusal(const SANE_Parameters& params)
{
    const int channels = channelsOf(params.format);
    const int depth = params.depth;
    const int width = params.pixels_per_line;
    const qint64 stride = params.bytes_per_line;
    if (params.format == SANE_FRAME_RED || params.format == SANE_FRAME_GREEN || params.format == SANE_FRAME_BLUE)
        return QStringLiteral("Сканер передаёт цвета отдельными проходами, их программа не собирает: выберите режим "
                              "«Полутон» или «Ч/Б».");
    if (channels == 0 || (depth != 1 && depth != 8 && depth != 16))
        return QStringLiteral("Сканер передаёт кадр в виде, который программа не читает (формат %1, %2 бит).")
            .arg(int(params.format))
            .arg(depth);
    const qint64 samples = qint64(std::max(width, 0)) * channels;
    const qint64 needed = depth == 1 ? (samples + 7) / 8 : samples * (depth / 8);
    if (width < 1 || stride < 1 || stride < needed)
        return QStringLiteral("Сканер передал неверные размеры строки кадра: %1 точек в %2 байтах.")
            .arg(width)
            .arg(stride);
    const qint64 lines = std::max<qint64>(params.lines, 0);
    if (width > kMaxFrameSide || lines > kMaxFrameSide || lines * stride > kMaxFrameBytes)
        return oversizeReason(params, lines * stride);
    return {};
}

QString oversizeReason(const SANE_Parameters& params, qint64 bytes)
{
    const qint64 lines = params.bytes_per_line > 0 ? bytes / params.bytes_per_line : 0;
    return QStringLiteral("Кадр сканера %1 × %2 точек (%3 МБ) больше, чем принимает программа: не больше %4 точек "
                          "по стороне и %5 МБ. Выберите меньшее разрешение или область сканирования.")
        .arg(params.pixels_per_line)
        .arg(std::max<qint64>(lines, params.lines))
        .arg((bytes + (1 << 20) - 1) >> 20)
        .arg(kMaxFrameSide)
        .arg(kMaxFrameBytes >> 20);
}

QImage frameImage(const SANE_Parameters& params, const QByteArray& bytes, int dpi, QString* reason)
{
    const auto refuse = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return QImage();
    };
    SANE_Parameters read = params;
    read.lines = -1; // what came decides
    const QString refusal = frameRefusal(read);
    if (!refusal.isEmpty())
        return refuse(refusal);
    const int channels = channelsOf(params.format);
    const int depth = params.depth;
    const int width = params.pixels_per_line;
    const qint64 stride = params.bytes_per_line;
    const qint64 samples = qint64(width) * channels;
    const qint64 height = bytes.size() / stride;
    if (height < 1)
        return refuse(QStringLiteral("Сканер не передал ни одной полной строки кадра."));
    if (height > kMaxFrameSide)
        return refuse(oversizeReason(params, bytes.size()));

    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    if (channels == 1 && depth == 1)
        return lineArt(data, width, static_cast<int>(height), stride, dpi);
    QImage image(width, static_cast<int>(height), channels == 1 ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull())
        return refuse(QStringLiteral("Не хватило памяти для кадра %1 × %2 точек.").arg(width).arg(height));
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = data + y * stride;
        uchar* out = image.scanLine(y);
        if (depth == 8) {
            memcpy(out, line, static_cast<size_t>(samples));
            continue;
        }
        for (int i = 0; i < samples; ++i)
            out[i] = sampleAt(line, i, depth, channels == 1);
    }
    image.setDotsPerMeterX(scanDotsPerMeter(dpi));
    image.setDotsPerMeterY(scanDotsPerMeter(dpi));
    return image;
}

QImage thresholded(const QImage& image)
{
    return blackAndWhite(image);
}

}  // namespace SaneOptions
