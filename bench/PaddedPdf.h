#pragma once
// A large PDF the benchmarks write for themselves.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QString>

namespace bench {

// A one-page PDF padded to about size bytes by an unused stream, written in
// pieces so a gigabyte never sits in memory here.
inline bool writePaddedPdf(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QList<qint64> offsets;
    const auto object = [&](const QByteArray& text) {
        offsets << file.pos();
        file.write(text);
    };
    file.write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
    object("1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    object("2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    object("3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>\nendobj\n");
    const qint64 length = qMax<qint64>(0, size - 600);
    object("4 0 obj\n<< /Length " + QByteArray::number(length) + " >>\nstream\n");
    QByteArray chunk(4 * 1024 * 1024, '\0');
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
    for (qint64 left = length; left > 0; left -= chunk.size())
        file.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    file.write("\nendstream\nendobj\n");
    const qint64 xref = file.pos();
    file.write("xref\n0 5\n0000000000 65535 f \n");
    for (qint64 offset : offsets)
        file.write(QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n");
    file.write("trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n");
    return file.error() == QFileDevice::NoError;
}

} // namespace bench
