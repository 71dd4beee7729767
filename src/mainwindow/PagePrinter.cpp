#include "PagePrinter.h"

#include "FileReplacement.h"
#include "PdfDocument.h"
#include "PrintSettings.h"

#include <QFile>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QPrinter>

#include <algorithm>
#include <cmath>

void printRangeFor(const QPrinter& printer, int pageCount, int currentPage, int* first, int* last)
{
    switch (printer.printRange()) {
    case QPrinter::PageRange:
        *first = std::max(printer.fromPage() - 1, 0);
        *last = std::min(printer.toPage(), pageCount) - 1;
        return;
    case QPrinter::CurrentPage:
        *first = *last = currentPage;
        return;
    case QPrinter::AllPages:
    case QPrinter::Selection:
        break;
    }
    *first = 0;
    *last = pageCount - 1;
}

namespace {

// Dots of a page side at s × res / 72, halves away from zero.
int deviceDots(double points, double factor)
{
    return int(std::lround(points * factor));
}

bool drawPage(const PdfDocument& document, QPrinter& printer, QPainter& painter, int page)
{
    const QSizeF paint = printer.pageLayout().paintRect(QPageLayout::Point).size();
    const QSizeF pageSize = document.pageSize(page);
    const double scale = PrintSettings::scaleFactor(PrintSettings::storedScale(), paint, pageSize);
    const double factor = scale * printer.resolution() / 72.0;
    const QImage image = document.renderPage(page, factor, 0);
    if (image.isNull())
        return false;
    painter.drawImage(QRect(0, 0, deviceDots(pageSize.width(), factor), deviceDots(pageSize.height(), factor)),
                      image);
    return true;
}

// Qt's PDF writer does not tell of a write that failed (a full disk): a
// printout is whole when it ends with the file's end mark.
bool endsWhole(const QString& path)
{
    constexpr qint64 kTail = 64;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(std::max<qint64>(0, file.size() - kTail)))
        return false;
    return file.readAll().trimmed().endsWith("%%EOF");
}

void drawPages(const PdfDocument& document, QPrinter& printer, int first, int last,
               const std::function<void(int)>& beforePage, PrintOutcome* outcome)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    outcome->started = true;
    for (int page = first; page <= last; ++page) {
        if (page > first)
            printer.newPage();
        if (beforePage)
            beforePage(page);
        if (drawPage(document, printer, painter, page))
            ++outcome->printed;
        else if (outcome->firstFailedPage < 0)
            outcome->firstFailedPage = page;
    }
    painter.end();
}

} // namespace

PrintOutcome printPages(const PdfDocument& document, QPrinter& printer, int first, int last,
                        const std::function<void(int)>& beforePage)
{
    PrintOutcome outcome;
    const QString target = printer.outputFileName();
    if (target.isEmpty()) {
        drawPages(document, printer, first, last, beforePage, &outcome);
        return outcome;
    }
    FileReplacement aside;
    if (!aside.begin(target, &outcome.writeError))
        return outcome;
    const QString partial = aside.partialPath();
    printer.setOutputFileName(partial);
    drawPages(document, printer, first, last, beforePage, &outcome);
    printer.setOutputFileName(target);
    if (!outcome.started)
        return outcome;
    if (!endsWhole(partial))
        outcome.writeError = QObject::tr("запись оборвалась на середине");
    else if (aside.finish(&outcome.writeError))
        aside.putInPlace(&outcome.writeError);
    return outcome;
}
