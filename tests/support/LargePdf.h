#pragma once
// Large PDFs that tests and benchmarks write for themselves, object by
// object, so the whole file never sits in memory.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QString>

namespace largepdf {

// Numbered objects (1, 2, ...) and at the end their cross-reference table;
// object 1 is the catalog.
class ObjectWriter {
public:
    explicit ObjectWriter(const QString& path)
        : file(path)
    {
        if (file.open(QIODevice::WriteOnly))
            file.write("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
    }

    // Starts the next object; its body follows through write().
    void begin()
    {
        offsets << file.pos();
        file.write(QByteArray::number(offsets.size()) + " 0 obj\n");
    }
    void write(const char* data, qint64 size) { file.write(data, size); }
    void write(const QByteArray& data) { file.write(data); }
    void end() { file.write("\nendobj\n"); }

    void object(const QByteArray& body)
    {
        begin();
        write(body);
        end();
    }

    bool finish()
    {
        const qint64 xref = file.pos();
        const QByteArray size = QByteArray::number(offsets.size() + 1);
        file.write("xref\n0 " + size + "\n0000000000 65535 f \n");
        for (qint64 offset : offsets)
            file.write(QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n");
        file.write("trailer\n<< /Size " + size + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref)
                   + "\n%%EOF\n");
        return file.isOpen() && file.error() == QFileDevice::NoError;
    }

private:
    QFile file;
    QList<qint64> offsets;
};

// pages pages, each showing its own incompressible side x side grey
// picture, like a scanned manual: about pages * side * side bytes.
inline bool writePicturePages(const QString& path, int pages, int side)
{
    ObjectWriter pdf(path);
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(3 + 3 * i) + " 0 R ";
    pdf.object("<< /Type /Catalog /Pages 2 0 R >>");
    pdf.object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    QRandomGenerator generator(11);
    QByteArray picture(side * side, '\0');
    const QByteArray draw = "q 400 0 0 400 100 300 cm /Im0 Do Q";
    for (int i = 0; i < pages; ++i) {
        const int page = 3 + 3 * i;
        pdf.object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /XObject << /Im0 "
                   + QByteArray::number(page + 1) + " 0 R >> >> /Contents " + QByteArray::number(page + 2)
                   + " 0 R >>");
        for (char& byte : picture)
            byte = char(generator.bounded(256));
        pdf.object("<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(side) + " /Height "
                   + QByteArray::number(side) + " /ColorSpace /DeviceGray /BitsPerComponent 8 /Length "
                   + QByteArray::number(picture.size()) + " >>\nstream\n" + picture + "\nendstream");
        pdf.object("<< /Length " + QByteArray::number(draw.size()) + " >>\nstream\n" + draw + "\nendstream");
    }
    return pdf.finish();
}

// A one-page PDF padded to about size bytes by an unused stream.
inline bool writePaddedPdf(const QString& path, qint64 size)
{
    ObjectWriter pdf(path);
    pdf.object("<< /Type /Catalog /Pages 2 0 R >>");
    pdf.object("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    const qint64 length = qMax<qint64>(0, size - 600);
    pdf.begin();
    pdf.write("<< /Length " + QByteArray::number(length) + " >>\nstream\n");
    QByteArray chunk(4 * 1024 * 1024, '\0');
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32*>(chunk.data()), chunk.size() / 4);
    for (qint64 left = length; left > 0; left -= chunk.size())
        pdf.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    pdf.write("\nendstream");
    pdf.end();
    return pdf.finish();
}

} // namespace largepdf
