#include "PdfFixtures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

namespace fixtures {

QString realPdf(const QString& name)
{
    return QStringLiteral(VORN_TEST_DATA_DIR "/") + name;
}

QByteArray twoLinePagePdf(const QString& drawing, const QString& image, const QString& mediaBox)
{
    const QString content = QStringLiteral("BT /F1 12 Tf 72 700 Td (A line to edit here) Tj ET\n"
                                           "BT /F1 12 Tf 72 680 Td (Another line stays) Tj ET\n") +
                            drawing;
    QStringList objects{QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
                        QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"),
                        QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [%1] /Contents 4 0 R "
                                       "/Resources << /Font << /F1 5 0 R >> %2 >> >>")
                            .arg(mediaBox, image.isEmpty() ? QString() : QStringLiteral("/XObject << /Im1 6 0 R >>")),
                        streamObject(QString(), content.toLatin1()),
                        QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")};
    if (!image.isEmpty())
        objects << image;
    return buildPdf(objects);
}

QByteArray buildPdf(const QStringList& objects)
{
    QByteArray out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i).toLatin1() + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

namespace {

QString pdfString(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"))
        .replace(QLatin1String("("), QLatin1String("\\("))
        .replace(QLatin1String(")"), QLatin1String("\\)"));
    return QLatin1Char('(') + escaped + QLatin1Char(')');
}

QString contentStream(const PageSpec& page)
{
    QString content;
    if (page.drawBox)
        content += QStringLiteral("0.5 g 300 300 100 100 re f 0 g\n");
    for (int i = 0; i < page.runs.size(); ++i) {
        const TextRun& run = page.runs.at(i);
        const QString alpha = run.fillAlpha < 1.0 ? QStringLiteral("/GS%1 gs ").arg(i) : QString();
        content += QStringLiteral("q %1%2 %3 %4 rg BT /%5 %6 Tf %7 %8 Td %9 Tj ET Q\n")
                       .arg(alpha)
                       .arg(run.color.redF())
                       .arg(run.color.greenF())
                       .arg(run.color.blueF())
                       .arg(run.font)
                       .arg(run.size)
                       .arg(run.x)
                       .arg(run.y)
                       .arg(pdfString(run.text));
    }
    return content + page.extraContent;
}

QString simpleFont(const QString& baseName)
{
    return QStringLiteral("<< /Type /Font /Subtype /Type1 /BaseFont /%1 /Encoding /WinAnsiEncoding >>").arg(baseName);
}

QString rectArray(const QRectF& r)
{
    return QStringLiteral("[%1 %2 %3 %4]").arg(r.left()).arg(r.top()).arg(r.right()).arg(r.bottom());
}

} // namespace

QByteArray pagesPdf(const QList<PageSpec>& pages)
{
    // 1 catalog, 2 pages, 3 font, then per page: page, content, its links.
    QStringList objects{QString(), QString(), simpleFont(QStringLiteral("Helvetica"))};
    QStringList kids;
    QList<int> pageObjects;
    int next = 4;
    for (const PageSpec& page : pages) {
        pageObjects << next;
        next += 2 + int(page.links.size());
    }
    for (int p = 0; p < pages.size(); ++p) {
        const PageSpec& page = pages.at(p);
        const int pageObject = pageObjects.at(p);
        kids << QStringLiteral("%1 0 R").arg(pageObject);
        QStringList annots;
        for (int l = 0; l < page.links.size(); ++l)
            annots << QStringLiteral("%1 0 R").arg(pageObject + 2 + l);
        QString fonts = QStringLiteral("/F1 3 0 R");
        for (int f = 0; f < page.extraFonts.size(); ++f)
            fonts += QStringLiteral(" /F%1 ").arg(f + 2) + simpleFont(page.extraFonts.at(f));
        QString states;
        for (int r = 0; r < page.runs.size(); ++r) {
            if (page.runs.at(r).fillAlpha < 1.0)
                states += QStringLiteral(" /GS%1 << /ca %2 >>").arg(r).arg(page.runs.at(r).fillAlpha);
        }
        QString dict = QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %1 %2] /Contents %3 0 R "
                                      "/Resources << /Font << %4 >> /ExtGState << %5 >> >>")
                           .arg(page.width)
                           .arg(page.height)
                           .arg(pageObject + 1)
                           .arg(fonts, states);
        if (page.rotate)
            dict += QStringLiteral(" /Rotate %1").arg(page.rotate);
        if (!page.cropBox.isEmpty())
            dict += QStringLiteral(" /CropBox ") + rectArray(page.cropBox);
        if (!annots.isEmpty())
            dict += QStringLiteral(" /Annots [") + annots.join(QLatin1Char(' ')) + QLatin1Char(']');
        dict += QStringLiteral(" >>");
        objects << dict;
        const QByteArray content = contentStream(page).toLatin1();
        objects << QStringLiteral("<< /Length %1 >>\nstream\n").arg(content.size()) + QString::fromLatin1(content) +
                       QStringLiteral("\nendstream");
        for (const LinkAnnot& link : page.links) {
            QString annot = QStringLiteral("<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect ") + rectArray(link.rect);
            if (link.destPage >= 0)
                annot += QStringLiteral(" /Dest [%1 0 R %2]")
                             .arg(pageObjects.value(link.destPage))
                             .arg(link.destView);
            else if (!link.uri.isEmpty())
                annot += QStringLiteral(" /A << /S /URI /URI ") + pdfString(link.uri) + QStringLiteral(" >>");
            else if (!link.launch.isEmpty())
                annot += QStringLiteral(" /A << /S /Launch /F ") + pdfString(link.launch) + QStringLiteral(" >>");
            objects << annot + QStringLiteral(" >>");
        }
    }
    objects[0] = QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>");
    objects[1] = QStringLiteral("<< /Type /Pages /Kids [%1] /Count %2 >>").arg(kids.join(QLatin1Char(' '))).arg(pages.size());
    return buildPdf(objects);
}

QByteArray textPdf(const QStringList& pageTexts)
{
    QList<PageSpec> pages;
    for (const QString& text : pageTexts) {
        PageSpec page;
        if (!text.isEmpty())
            page.runs << TextRun{text};
        pages << page;
    }
    return pagesPdf(pages);
}

QByteArray outlinePdf(const QStringList& outlineItemObjects, int firstItemObject, int lastItemObject)
{
    QStringList objects;
    objects << QStringLiteral("<< /Type /Catalog /Pages 2 0 R /Outlines %1 0 R >>").arg(outlinesObject());
    objects << QStringLiteral("<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    for (int i = 0; i < 3; ++i)
        objects << QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>");
    if (outlineItemObjects.isEmpty())
        objects << QStringLiteral("<< /Type /Outlines /Count 0 >>");
    else
        objects << QStringLiteral("<< /Type /Outlines /First %1 0 R /Last %2 0 R >>").arg(firstItemObject).arg(lastItemObject);
    objects << outlineItemObjects;
    return buildPdf(objects);
}

QString streamObject(const QString& dictionaryEntries, const QByteArray& data)
{
    return QStringLiteral("<< %1 /Length %2 >>\nstream\n").arg(dictionaryEntries).arg(data.size()) +
           QString::fromLatin1(data) + QStringLiteral("\nendstream");
}

QString placement(double x, double y, double width, double height)
{
    return QStringLiteral("%1 0 0 %2 %3 %4").arg(width).arg(height).arg(x).arg(y);
}

int imagePdfExtraObject(const QList<ImageSpec>& images, int index)
{
    int graphicsStates = 0;
    for (const ImageSpec& image : images)
        graphicsStates += image.graphicsState.isEmpty() ? 0 : 1;
    return 5 + int(images.size()) + graphicsStates + index;
}

QByteArray imagePdf(const QList<ImageSpec>& images, const QStringList& extraObjects, double width, double height,
                    int rotate)
{
    QStringList xobjects;
    QStringList states;
    QString content;
    QStringList imageObjects;
    QStringList stateObjects;
    const int firstState = 5 + int(images.size());
    for (int i = 0; i < images.size(); ++i) {
        const ImageSpec& image = images.at(i);
        xobjects << QStringLiteral("/Im%1 %2 0 R").arg(i).arg(5 + i);
        content += QStringLiteral("q ");
        if (!image.graphicsState.isEmpty()) {
            const int number = firstState + int(stateObjects.size());
            states << QStringLiteral("/GS%1 %2 0 R").arg(i).arg(number);
            stateObjects << image.graphicsState;
            content += QStringLiteral("/GS%1 gs ").arg(i);
        }
        content += image.matrix + QStringLiteral(" cm /Im%1 Do Q\n").arg(i);
        QString entries = QStringLiteral("/Type /XObject /Subtype /Image /Width %1 /Height %2 /BitsPerComponent %3")
                              .arg(image.width)
                              .arg(image.height)
                              .arg(image.bitsPerComponent);
        if (!image.colorSpace.isEmpty())
            entries += QStringLiteral(" /ColorSpace ") + image.colorSpace;
        if (!image.extraEntries.isEmpty())
            entries += QLatin1Char(' ') + image.extraEntries;
        imageObjects << streamObject(entries, image.samples);
    }
    QString resources = QStringLiteral("/XObject << %1 >>").arg(xobjects.join(QLatin1Char(' ')));
    if (!states.isEmpty())
        resources += QStringLiteral(" /ExtGState << %1 >>").arg(states.join(QLatin1Char(' ')));
    QString page = QStringLiteral("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %1 %2] /Contents 4 0 R /Resources << %3 >>")
                       .arg(width)
                       .arg(height)
                       .arg(resources);
    if (rotate)
        page += QStringLiteral(" /Rotate %1").arg(rotate);
    page += QStringLiteral(" >>");
    QStringList objects{QStringLiteral("<< /Type /Catalog /Pages 2 0 R >>"),
                        QStringLiteral("<< /Type /Pages /Kids [3 0 R] /Count 1 >>"), page,
                        streamObject(QString(), content.toLatin1())};
    objects << imageObjects << stateObjects << extraObjects;
    return buildPdf(objects);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray pngWithoutResolution(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    // Each chunk: length (4 bytes, big-endian), type, data, check sum (4).
    const qsizetype type = png.indexOf("pHYs");
    if (type >= 4) {
        const auto* length = reinterpret_cast<const uchar*>(png.constData() + type - 4);
        png.remove(type - 4, 12 + qsizetype(quint32(length[0]) << 24 | quint32(length[1]) << 16 |
                                            quint32(length[2]) << 8 | length[3]));
    }
    return png;
}

} // namespace fixtures
