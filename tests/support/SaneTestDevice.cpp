#include "SaneTestDevice.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

QString SaneTestDevice::configDir()
{
    static QTemporaryDir dir;
    static const bool pointed = [] {
        qputenv("SANE_CONFIG_DIR", dir.path().toUtf8());
        return true;
    }();
    Q_UNUSED(pointed);
    return dir.isValid() ? dir.path() : QString();
}

SaneTestDevice::SaneTestDevice(const QMap<QString, QString>& settings)
{
    QFile stock(QStringLiteral("/etc/sane.d/test.conf"));
    const QString folder = configDir();
    if (folder.isEmpty() || !stock.open(QIODevice::ReadOnly))
        return;
    QStringList lines;
    const QStringList stockLines = QString::fromUtf8(stock.readAll()).split(QLatin1Char('\n'));
    for (const QString& line : stockLines) {
        const QString key = line.section(QLatin1Char(' '), 0, 0);
        if (!settings.contains(key))
            lines.append(line);
    }
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        lines.append(it.key() + QLatin1Char(' ') + it.value());
    QFile conf(folder + QStringLiteral("/test.conf"));
    QFile dll(folder + QStringLiteral("/dll.conf"));
    if (!conf.open(QIODevice::WriteOnly) || !dll.open(QIODevice::WriteOnly))
        return;
    conf.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    dll.write("test\n");
    m_valid = true;
}

QImage SaneTestDevice::scanimage(const QStringList& options, QString* error) const
{
    QProcess process;
    process.start(QStringLiteral("scanimage"), QStringList{QStringLiteral("-d"), QStringLiteral("test:0"),
                                                           QStringLiteral("--format=pnm")} + options);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        *error = QStringLiteral("scanimage: ") + QString::fromUtf8(process.readAllStandardError()) + process.errorString();
        return QImage();
    }
    const QImage image = readPnm(process.readAllStandardOutput());
    if (image.isNull())
        *error = QStringLiteral("scanimage wrote no PNM");
    return image;
}

QImage readPnm(const QByteArray& data)
{
    // Magic, width, height and (except P4) the largest value, then one blank.
    int pos = 0;
    QList<int> header;
    QByteArray magic;
    const int fields = data.startsWith("P4") ? 3 : 4;
    while (header.size() + 1 < fields + 1 && pos < data.size()) {
        while (pos < data.size() && QChar::isSpace(uchar(data[pos])))
            ++pos;
        if (pos < data.size() && data[pos] == '#') {
            while (pos < data.size() && data[pos] != '\n')
                ++pos;
            continue;
        }
        const int start = pos;
        while (pos < data.size() && !QChar::isSpace(uchar(data[pos])))
            ++pos;
        const QByteArray token = data.mid(start, pos - start);
        if (magic.isEmpty())
            magic = token;
        else
            header.append(token.toInt());
        if (header.size() == fields - 1)
            break;
    }
    ++pos;
    if (header.size() != fields - 1)
        return QImage();
    const int w = header[0];
    const int h = header[1];
    const int maxValue = fields == 4 ? header[2] : 1;
    const int bytesPerSample = maxValue > 255 ? 2 : 1;
    const bool colour = magic == "P6";
    QImage image(w, h, colour ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    const auto* in = reinterpret_cast<const uchar*>(data.constData()) + pos;
    const qint64 available = data.size() - pos;
    const int samples = w * (colour ? 3 : 1);
    const qint64 stride = magic == "P4" ? (w + 7) / 8 : qint64(samples) * bytesPerSample;
    if (available < stride * h)
        return QImage();
    for (int y = 0; y < h; ++y) {
        const uchar* line = in + y * stride;
        uchar* out = image.scanLine(y);
        for (int i = 0; i < samples; ++i) {
            if (magic == "P4")
                out[i] = ((line[i / 8] >> (7 - i % 8)) & 1) ? 0 : 255;
            else
                out[i] = line[i * bytesPerSample];  // big-endian: the high byte first
        }
    }
    return image;
}
