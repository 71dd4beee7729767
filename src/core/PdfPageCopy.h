#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pdfengine {

class QpdfFile;

// Pages of one PDF copied into another by qpdf, for pages pdfium's own page
// import would break: pdfium copies the values of /Parent, /Prev and /First
// as they stand, still naming objects of the file they came from (a
// pop-up's note, a widget's field), and it leaves the catalog's optional
// content behind, so that layers the file hides show. Form fields stay
// fields, merged into the receiving form with clashing names renamed as
// qpdf's page copy does (widgets that no form lists count as fields of
// their own); the layers the pages use keep the state the file's default
// configuration gives them.
class PdfPageCopy {
public:
    // Whether pdfium's import of page pageIndex of pdf (every page for -1)
    // would break part of it: a widget, a layer of the file's optional
    // content, or an object the page reaches that names another by
    // /Parent, /Prev or /First. False when qpdf cannot read the file.
    static bool needsQpdf(const QByteArray& pdf, int pageIndex);
    // The same for the listed pages of a file qpdf has read.
    static bool needsQpdf(QpdfFile& file, const QList<int>& pages);

    // target with page pageIndex of source (all its pages for -1) appended;
    // false with the reason when qpdf cannot do it.
    static bool appendPages(const QByteArray& target, const QByteArray& source, int pageIndex, QByteArray* out,
                            QString* error);
    // A new file of the listed pages of source, in list order (a page
    // listed twice is there twice); false with the reason when qpdf cannot
    // make it.
    static bool extractPages(const QByteArray& source, const QList<int>& pages, QByteArray* out, QString* error);
};

}  // namespace pdfengine
