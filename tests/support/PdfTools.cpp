#include "PdfTools.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

namespace pdftools {

bool installed(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

Result run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    Result result;
    if (!process.waitForFinished(60000))
        return result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QList<ImageRow> listImages(const QString& pdf)
{
    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
    QList<ImageRow> rows;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).out.split(QLatin1Char('\n'));
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QStringList f = lines.at(i).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (f.size() < 14)
            continue;
        ImageRow row;
        row.page = f.at(0).toInt();
        row.type = f.at(2);
        row.width = f.at(3).toInt();
        row.height = f.at(4).toInt();
        row.color = f.at(5);
        row.bitsPerComponent = f.at(7).toInt();
        row.encoding = f.at(8);
        row.xPpi = f.at(12).toInt();
        row.yPpi = f.at(13).toInt();
        rows << row;
    }
    return rows;
}

int pageCount(const QString& pdf)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(run(QStringLiteral("pdfinfo"), {pdf}).out);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QList<QSizeF> pageSizes(const QString& pdf)
{
    QList<QSizeF> sizes;
    const QString out = run(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                         QStringLiteral("100000"), pdf})
                            .out;
    QRegularExpressionMatchIterator it =
        QRegularExpression(QStringLiteral("^Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts.*\\n"
                                          "Page\\s+\\d+ rot:\\s+(\\d+)"),
                           QRegularExpression::MultilineOption)
            .globalMatch(out);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QSizeF size(match.captured(1).toDouble(), match.captured(2).toDouble());
        sizes << (match.captured(3).toInt() % 180 == 90 ? size.transposed() : size);
    }
    return sizes;
}

int fontCount(const QString& pdf)
{
    const Result result = run(QStringLiteral("pdffonts"), {pdf});
    if (result.exitCode != 0)
        return -1;
    return int(result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size()) - 2;
}

QList<FontRow> listFonts(const QString& pdf)
{
    QList<FontRow> rows;
    const Result result = run(QStringLiteral("pdffonts"), {pdf});
    // name, type words, encoding, emb, sub, uni, object number, generation
    for (const QString& line : result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() < 7)
            continue;
        const qsizetype n = fields.size();
        rows.append({fields.first(), fields.at(n - 5) == QLatin1String("yes"), fields.at(n - 4) == QLatin1String("yes")});
    }
    return rows;
}

QImage renderPage(const QString& pdf, int pageIndex, int dpi)
{
    QTemporaryDir dir;
    const QString page = QString::number(pageIndex + 1);
    const QString base = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), page,
                                     QStringLiteral("-l"), page, QStringLiteral("-singlefile"), QStringLiteral("-png"),
                                     pdf, base});
    return QImage(base + QStringLiteral(".png"));
}

QImage mupdfRenderPage(const QString& pdf, int pageIndex, int dpi)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("page.png"));
    run(QStringLiteral("mutool"), {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-c"), QStringLiteral("gray"),
                                   QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-o"), out, pdf,
                                   QString::number(pageIndex + 1)});
    return QImage(out);
}

QList<WordBox> wordBoxes(const QString& pdf, int pageIndex)
{
    const QString page = QString::number(pageIndex + 1);
    const Result result = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-enc"),
                                                            QStringLiteral("UTF-8"), QStringLiteral("-f"), page,
                                                            QStringLiteral("-l"), page, pdf, QStringLiteral("-")});
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<WordBox> boxes;
    for (auto it = word.globalMatch(result.out); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QPointF topLeft(m.captured(1).toDouble(), m.captured(2).toDouble());
        const QPointF bottomRight(m.captured(3).toDouble(), m.captured(4).toDouble());
        QString text = m.captured(5);
        text.replace(QStringLiteral("&quot;"), QStringLiteral("\""))
            .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        boxes.append({text, QRectF(topLeft, bottomRight)});
    }
    return boxes;
}

QStringList words(const QString& pdf, int pageIndex)
{
    QStringList texts;
    for (const WordBox& word : wordBoxes(pdf, pageIndex))
        texts << word.text;
    return texts;
}

QMap<QChar, int> letterCounts(const QString& text)
{
    QMap<QChar, int> counts;
    for (const QChar c : text)
        if (!c.isSpace())
            ++counts[c];
    return counts;
}

QString mupdfText(const QString& pdf, int pageIndex, const QString& password)
{
    QStringList arguments{QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("txt"),
                          QStringLiteral("-o"), QStringLiteral("-")};
    if (!password.isEmpty())
        arguments << QStringLiteral("-p") << password;
    const Result result = run(QStringLiteral("mutool"), arguments << pdf << QString::number(pageIndex + 1));
    return result.exitCode == 0 ? result.out : QString();
}

QList<MupdfChar> mupdfChars(const QString& pdf, int pageIndex)
{
    QList<MupdfChar> chars;
    const Result result = run(QStringLiteral("mutool"), {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"),
                                                         QStringLiteral("stext"), QStringLiteral("-o"), QStringLiteral("-"),
                                                         pdf, QString::number(pageIndex + 1)});
    if (result.exitCode != 0)
        return chars;
    QXmlStreamReader xml(result.out);
    QString font;
    double size = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        if (xml.name() == QLatin1String("font")) {
            font = attributes.value(QLatin1String("name")).toString();
            size = attributes.value(QLatin1String("size")).toDouble();
        } else if (xml.name() == QLatin1String("char")) {
            chars.push_back({attributes.value(QLatin1String("c")).toString(),
                             QPointF(attributes.value(QLatin1String("x")).toDouble(),
                                     attributes.value(QLatin1String("y")).toDouble()),
                             font, size, QColor(attributes.value(QLatin1String("color")).toString())});
        }
    }
    return chars;
}

ReaderPageCounts readerPageCounts(const QString& pdf, const QString& password)
{
    ReaderPageCounts counts;
    const QStringList qpdfPassword =
        password.isEmpty() ? QStringList() : QStringList{QStringLiteral("--password=") + password};
    const Result qpdf = run(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--show-npages"), pdf});
    // qpdf exits 3 where it read the file with warnings.
    if (qpdf.exitCode == 0 || qpdf.exitCode == 3)
        counts.qpdf = qpdf.out.trimmed().toInt();
    counts.poppler = pageCount(pdf);
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const QStringList mupdfPassword = password.isEmpty() ? QStringList() : QStringList{QStringLiteral("-p"), password};
    const QRegularExpressionMatch match =
        pages.match(run(QStringLiteral("mutool"), QStringList{QStringLiteral("info")} + mupdfPassword + QStringList{pdf}).out);
    if (match.hasMatch())
        counts.mupdf = match.captured(1).toInt();
    return counts;
}

} // namespace pdftools
