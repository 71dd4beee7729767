#include "tst_pdfdocument_save.h"

namespace savetest {

QMap<QString, int> wordCounts(const QStringList& words)
{
    QMap<QString, int> counts;
    for (const QString& w : words)
        ++counts[w];
    return counts;
}

QList<QByteArray> rawContents(const QString& pdf, int pageIndex)
{
    QList<QByteArray> raws;
    pdfengine::QpdfFile file;
    QString error;
    if (!file.load(fixtures::readFile(pdf), &error))
        return raws;
    file.run([&](QPDF& qpdf) {
        QPDFObjectHandle page = qpdf.getAllPages().at(size_t(pageIndex));
        QPDFObjectHandle contents = page.getKey("/Contents");
        std::vector<QPDFObjectHandle> items =
            contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
        for (QPDFObjectHandle& item : items) {
            if (!item.isStream())
                continue;
            const std::shared_ptr<Buffer> raw = item.getRawStreamData();
            raws << QByteArray(reinterpret_cast<const char*>(raw->getBuffer()), qsizetype(raw->getSize()));
        }
    }, &error);
    return raws;
}

double changedShareOutside(const QImage& before, const QImage& after, const QRectF& box, double pageHeight, double dpi)
{
    if (before.isNull() || before.size() != after.size())
        return 1.0;
    const double scale = dpi / 72.0;
    const QRect skipped(int(box.x() * scale) - 4, int((pageHeight - box.bottom()) * scale) - 4,
                        int(box.width() * scale) + 9, int(box.height() * scale) + 9);
    qint64 changed = 0, total = 0;
    const QImage a = before.convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.convertToFormat(QImage::Format_Grayscale8);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (skipped.contains(x, y))
                continue;
            ++total;
            changed += qAbs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])) > 40;
        }
    return total ? double(changed) / double(total) : 1.0;
}

int inkInside(const QImage& render, const std::vector<QRectF>& boxes, double pageHeight, double dpi)
{
    constexpr int kInk = 200;
    if (render.isNull())
        return -1;
    const QImage grey = render.convertToFormat(QImage::Format_Grayscale8);
    const double scale = dpi / 72.0;
    int ink = 0;
    for (const QRectF& box : boxes) {
        QRect pixels(QPoint(int(std::floor(box.left() * scale)), int(std::floor((pageHeight - box.bottom()) * scale))),
                     QPoint(int(std::ceil(box.right() * scale)) - 1, int(std::ceil((pageHeight - box.top()) * scale)) - 1));
        if (pixels.width() > 4)
            pixels.adjust(1, 0, -1, 0);
        if (pixels.height() > 4)
            pixels.adjust(0, 1, 0, -1);
        pixels = pixels.intersected(grey.rect());
        for (int y = pixels.top(); y <= pixels.bottom(); ++y)
            for (int x = pixels.left(); x <= pixels.right(); ++x)
                ink += grey.constScanLine(y)[x] < kInk;
    }
    return ink;
}

int changedPixelsInside(const QImage& before, const QImage& after, const QRectF& box, double dpi)
{
    if (before.isNull() || before.size() != after.size())
        return -1;
    const QImage a = before.convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.convertToFormat(QImage::Format_Grayscale8);
    const double scale = dpi / 72.0;
    const QRect pixels = QRect(QPoint(int(box.left() * scale), int(box.top() * scale)),
                               QPoint(int(box.right() * scale), int(box.bottom() * scale)))
                             .intersected(a.rect());
    int changed = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x)
            changed += std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])) > 40;
    return changed;
}

int objectStreams(const QString& pdf)
{
    return int(fixtures::readFile(pdf).count("/ObjStm"));
}

bool qpdfClean(const QString& pdf)
{
    return pdftools::run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).exitCode == 0;
}

bool rewriteBlock(std::vector<TextBlock>& blocks, const QString& phrase, const QString& text, TextBlock* old)
{
    const auto it = std::find_if(blocks.begin(), blocks.end(),
                                 [&](const TextBlock& b) { return !b.isImage && b.text.contains(phrase); });
    if (it == blocks.end())
        return false;
    *old = *it;
    it->textEdited = true;
    it->text = text;
    if (text.isEmpty())
        *it = removedPlaceOf(*it);  // as the window deletes it
    return true;
}

bool copiesPage(PageOp op)
{
    return op == PageOp::PutIn || op == PageOp::PutInEdit || op == PageOp::Duplicate;
}

bool dragLongestLine(PdfDocument& doc, double points)
{
    std::vector<TextBlock> blocks = doc.extractText(0);
    const auto longest = std::max_element(blocks.begin(), blocks.end(), [](const TextBlock& a, const TextBlock& b) {
        return a.text.size() < b.text.size();
    });
    if (longest == blocks.end())
        return false;
    if (points == 0) {
        TextBlock old;
        return rewriteBlock(blocks, longest->text, QString(), &old) && doc.overlayOcrText(0, blocks, false);
    }
    const QPointF drag(0, -points);
    longest->rect.translate(drag);
    for (TextBlock::Line& line : longest->lines) {
        line.rect.translate(drag);
        for (TextBlock::Line::Word& word : line.words)
            word.rect.translate(drag);
    }
    return doc.overlayOcrText(0, blocks, false);
}

bool editBlockWith(PdfDocument& doc, const QString& phrase, int pageIndex)
{
    std::vector<TextBlock> blocks = doc.extractText(pageIndex);
    TextBlock old;
    return rewriteBlock(blocks, phrase, QStringLiteral("Новые слова здесь"), &old) &&
           doc.overlayOcrText(pageIndex, blocks, false);
}

bool applyPageOp(PdfDocument& doc, PageOp op, const QString& from)
{
    switch (op) {
    case PageOp::PutIn:
        return doc.appendPage(from.isEmpty() ? doc.filePath() : from, 0);
    case PageOp::PutInEdit:
        return applyPageOp(doc, PageOp::PutIn, from) && editBlockWith(doc, QString(), doc.pageCount() - 1);
    case PageOp::Duplicate: {
        const QTemporaryDir folder;
        const QString copy = folder.filePath(QStringLiteral("page.pdf"));
        return doc.extractPageSubset({0}, copy) && doc.appendPage(copy, 0);
    }
    case PageOp::None:
        return true;
    case PageOp::Rotate:
        return doc.rotatePage(0, 90);
    case PageOp::Insert:
        return doc.insertBlankPage(1, QSizeF(595, 842));
    case PageOp::Move:
        return doc.movePage(0, doc.pageCount() - 1);
    case PageOp::Delete:
        return doc.deletePage(0);
    case PageOp::MoveLine:
        return dragLongestLine(doc, 40);
    case PageOp::DeleteLine:
        return dragLongestLine(doc, 0);
    case PageOp::EditLine:
        return editBlockWith(doc, QString());
    case PageOp::EditTurnEdit:
        return editBlockWith(doc, QString()) && applyPageOp(doc, PageOp::Rotate) &&
               editBlockWith(doc, QStringLiteral("seal"));
    case PageOp::TurnThenEdit:
        return applyPageOp(doc, PageOp::Rotate) && applyPageOp(doc, PageOp::EditLine);
    case PageOp::EditThenTurn:
        return applyPageOp(doc, PageOp::EditLine) && applyPageOp(doc, PageOp::Rotate);
    case PageOp::CorrectWord: {
        std::vector<TextBlock> blocks = doc.extractText(0);
        const QString text = doc.extractAllText(0);
        const QString word = text.contains(QStringLiteral("складах"))  ? QStringLiteral("складах")
                             : text.contains(QStringLiteral("letgut")) ? QStringLiteral("article,")
                                                                       : QStringLiteral("Kauers");
        const auto it = std::find_if(blocks.begin(), blocks.end(),
                                     [&](const TextBlock& b) { return !b.isImage && b.text.contains(word); });
        if (it == blocks.end())
            return false;
        it->text.replace(word, word + QStringLiteral(" і"));
        it->textEdited = true;
        return doc.overlayOcrText(0, blocks, false);
    }
    case PageOp::AddLine: {
        // A text layer line in the empty foot of the page, the page's own text untouched.
        TextBlock added = fixtures::oneLineBlock(QStringLiteral("Новые слова здесь"), QRectF(72, 40, 300, 14), 12);
        added.invisibleText = added.lines.front().invisibleText = true;
        return doc.overlayOcrText(0, {added}, false);
    }
    }
    return false;
}

QString fileTag()
{
    return QString::fromUtf8(QTest::currentDataTag()).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")),
                                                             QStringLiteral("-"));
}

bool greyNear(int grey, const QImage& image, int x, int y, int reach, int tolerance)
{
    int lowest = 255, highest = 0;
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx)
            if (image.rect().contains(x + dx, y + dy)) {
                lowest = std::min(lowest, int(image.constScanLine(y + dy)[x + dx]));
                highest = std::max(highest, int(image.constScanLine(y + dy)[x + dx]));
            }
    return grey >= lowest - tolerance && grey <= highest + tolerance;
}

int movedAreaDifferences(const QImage& before, const QImage& after, const QRectF& area, double dpi, const QPoint& shift,
                         int reach)
{
    constexpr int kInk = 200, kDifferent = 64;
    if (before.isNull() || after.isNull() || before.size() != after.size())
        return -1;
    const QImage a = before.convertToFormat(QImage::Format_Grayscale8);
    const QImage b = after.convertToFormat(QImage::Format_Grayscale8);
    const double scale = dpi / 72.0;
    const QRect pixels = QRect(QPoint(int(area.left() * scale), int(area.top() * scale)),
                               QPoint(int(area.right() * scale), int(area.bottom() * scale)))
                             .intersected(a.rect())
                             .intersected(a.rect().translated(-shift));
    int differences = 0;
    for (int y = pixels.top(); y <= pixels.bottom(); ++y)
        for (int x = pixels.left(); x <= pixels.right(); ++x) {
            const QPoint to = QPoint(x, y) + shift;
            if (a.constScanLine(to.y())[to.x()] < kInk)
                continue;
            differences += !greyNear(a.constScanLine(y)[x], b, to.x(), to.y(), reach, kDifferent) ||
                           !greyNear(b.constScanLine(to.y())[to.x()], a, x, y, reach, kDifferent);
        }
    return differences;
}

QStringList sortedWords(const QString& pdf, int pageIndex)
{
    QStringList words = pdftools::words(pdf, pageIndex);
    words.sort();
    return words;
}

QStringList mupdfWords(const QString& pdf, int pageIndex)
{
    QStringList words = pdftools::mupdfText(pdf, pageIndex).split(QRegularExpression(QStringLiteral("\\s+")),
                                                                 Qt::SkipEmptyParts);
    words.sort();
    return words;
}

QString attachmentPassword(const QString& fixture)
{
    return fixture == QStringLiteral("groff-attachment-password.pdf") ||
                   fixture == QStringLiteral("groff-attachment-crypt-filter.pdf")
               ? QStringLiteral("attach")
               : QString();
}

QMap<QString, QByteArray> attachedFiles(const QString& pdf, const QString& password)
{
    const QStringList qpdfPassword =
        password.isEmpty() ? QStringList() : QStringList{QStringLiteral("--password=") + password};
    QMap<QString, QByteArray> files;
    const QString listed =
        pdftools::run(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--list-attachments"), pdf}).out;
    for (const QString& line : listed.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (!line.contains(QStringLiteral(" -> ")))
            continue;  // "... has no embedded files"
        const QString key = line.section(QStringLiteral(" -> "), 0, 0);
        QProcess shown;
        shown.start(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--show-attachment=") + key, pdf});
        files[key] = shown.waitForFinished(60000) && shown.exitCode() == 0 ? shown.readAllStandardOutput() : QByteArray();
    }
    return files;
}

QByteArray firstAttachment(const QString& pdf, const QString& password, const QString& into)
{
    QStringList arguments{QStringLiteral("-save"), QStringLiteral("1"), QStringLiteral("-o"), into, pdf};
    if (!password.isEmpty())
        arguments = QStringList{QStringLiteral("-upw"), password} + arguments;
    QFile::remove(into);
    return pdftools::run(QStringLiteral("pdfdetach"), arguments).exitCode == 0 ? fixtures::readFile(into) : QByteArray();
}

QString refusedElsewhere(const QString& pdf, const QString& password)
{
    const QStringList qpdfPassword =
        password.isEmpty() ? QStringList() : QStringList{QStringLiteral("--password=") + password};
    const pdftools::Result check =
        pdftools::run(QStringLiteral("qpdf"), qpdfPassword + QStringList{QStringLiteral("--check"), pdf});
    if (check.exitCode != 0 || check.out.contains(QStringLiteral("WARNING")) ||
        check.err.contains(QStringLiteral("WARNING")))
        return QStringLiteral("qpdf: ") + check.out + check.err;
    const pdftools::Result text = pdftools::run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    if (text.exitCode != 0 || !text.err.isEmpty())
        return QStringLiteral("pdftotext: ") + text.err;
    if (pdftools::installed(QStringLiteral("gs"))) {
        const pdftools::Result gs = pdftools::run(
            QStringLiteral("gs"), {QStringLiteral("-dNODISPLAY"), QStringLiteral("-dBATCH"), QStringLiteral("-dNOPAUSE"),
                                   QStringLiteral("-q"), pdf});
        if (gs.exitCode != 0 || (gs.out + gs.err).contains(QStringLiteral("Catalog dictionary not located")) ||
            (gs.out + gs.err).contains(QStringLiteral("Error")))
            return QStringLiteral("gs: ") + gs.out + gs.err;
    }
    return QString();
}

Fault replaceLast(const QByteArray& what, const QByteArray& by)
{
    return [what, by](QByteArray& bytes) {
        const bool cut = what.endsWith('*');
        const QByteArray found = cut ? what.chopped(1) : what;
        const qsizetype at = bytes.lastIndexOf(found);
        bytes.replace(at, cut ? bytes.size() - at : found.size(), by);
    };
}

Fault attachmentByteTurned()
{
    return [](QByteArray& bytes) {
        const qsizetype data = bytes.indexOf("stream", bytes.indexOf("/Type /EmbeddedFile")) + 7;
        bytes[data + 10] = char(bytes[data + 10] ^ 0x20);
    };
}

Fault rewrittenWith(const std::function<void(QPDF&)>& change)
{
    return [change](QByteArray& bytes) {
        pdfengine::QpdfFile file;
        QByteArray written;
        if (file.load(bytes, nullptr) && file.run(change, nullptr) && file.write(&written, {}, nullptr))
            bytes = written;
    };
}

Fault movedContentChanged(int pageIndex, const fixtures::ContentEdit& edit)
{
    return [=](QByteArray& bytes) { bytes = fixtures::movedContentEdited(bytes, pageIndex, edit); };
}

Fault movedTextRecoded(int pageIndex, const QByteArray& from, const QByteArray& to)
{
    return movedContentChanged(pageIndex, [=](const QByteArray& content) {
        static const QRegularExpression hex(QStringLiteral("<[0-9A-F]+>"));
        QString text = QString::fromLatin1(content);
        for (auto it = hex.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            QString codes = m.captured();
            for (qsizetype i = 1; i + 2 < codes.size(); i += 2)
                if (codes.mid(i, 2) == QLatin1String(from))
                    codes.replace(i, 2, QLatin1String(to));
            text.replace(m.capturedStart(), m.capturedLength(), codes);
        }
        return text.toLatin1();
    });
}

Fault deletedTextPutBack(const QString& source, int pageIndex)
{
    QByteArray original;
    for (const QByteArray& raw : rawContents(source, pageIndex))
        original += raw;  // a single Flate stream: the test's fixtures have one
    return rewrittenWith([=](QPDF& pdf) {
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            const QByteArray content(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            if (content.contains("/Vorn") || !content.contains("BT"))
                continue;
            stream.replaceStreamData(original.toStdString(), QPDFObjectHandle::newName("/FlateDecode"),
                                     QPDFObjectHandle::newNull());
            return;
        }
    });
}

Fault resourceTakenFrom(int pageIndex, const std::string& category, const std::string& name)
{
    return rewrittenWith([=](QPDF& pdf) {
        QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex)))
            .getAttribute("/Resources", true)
            .getKey(category)
            .removeKey(name);
    });
}

Fault annotationMovedOn(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        QPDFObjectHandle page = pdf.getAllPages().at(size_t(pageIndex));
        QPDFObjectHandle annotation = page.getKey("/Annots").getArrayItem(0);
        QPDFObjectHandle rect = annotation.getKey("/Rect");
        for (int corner : {0, 2})
            rect.setArrayItem(corner, QPDFObjectHandle::newReal(rect.getArrayItem(corner).getNumericValue() + 1, 3));
    });
}

Fault lineAddedTo(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex)))
            .addPageContents(QPDFObjectHandle::newStream(&pdf, "0 0 m 100 100 l S\n"), false);
    });
}

Fault contentReplaced(int pageIndex, const QString& what, const QString& to)
{
    return rewrittenWith([=](QPDF& pdf) {
        const QRegularExpression match(what);
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            QString content = QString::fromLatin1(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            if (!content.contains(match))
                continue;
            content.replace(match, to);
            stream.replaceStreamData(content.toLatin1().toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        }
    });
}

Fault fontsTakenFrom(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        QPDFPageObjectHelper page(pdf.getAllPages().at(size_t(pageIndex)));
        page.getAttribute("/Resources", true).removeKey("/Font");
    });
}

Fault formPicturesTakenFrom(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        static const QRegularExpression drawn(QStringLiteral("/[^\\s/]+\\s+Do\\b"));
        QPDFPageObjectHelper page(pdf.getAllPages().at(size_t(pageIndex)));
        for (auto& [name, form] : page.getFormXObjects()) {
            const std::shared_ptr<Buffer> data = form.getStreamData();
            QString content = QString::fromLatin1(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            content.replace(drawn, QString());
            form.replaceStreamData(content.toLatin1().toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        }
    });
}

Fault writtenTextHiddenOn(int pageIndex)
{
    return rewrittenWith([pageIndex](QPDF& pdf) {
        for (QPDFObjectHandle stream : QPDFPageObjectHelper(pdf.getAllPages().at(size_t(pageIndex))).getPageContents()) {
            const std::shared_ptr<Buffer> data = stream.getStreamData();
            QByteArray content(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize()));
            const qsizetype own = content.indexOf("/VornEdit");
            if (own < 0)
                continue;
            QByteArray tail = content.mid(own);
            static const QRegularExpression showing(QStringLiteral("(T[jJ]|')(\\s)"));
            tail = QString::fromLatin1(tail).replace(showing, QStringLiteral("Tz\\2")).toLatin1();
            content = content.left(own) + tail;
            stream.replaceStreamData(content.toStdString(), QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        }
    });
}

bool touchesFirstPageOnly(PageOp op)
{
    return op != PageOp::Insert && op != PageOp::Move && op != PageOp::Delete;
}

}  // namespace savetest
