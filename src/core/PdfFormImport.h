#pragma once

#include <QByteArray>
#include <QString>

namespace pdfengine {

// Pages of a PDF with form fields brought into another PDF by qpdf, the
// fields kept as fields: merged into the receiving form, clashing names
// renamed as qpdf's page copy does. Widgets that no form lists (a page
// copied by a tool that dropped the form) count as fields of their own.
class PdfFormImport {
public:
    // Whether any page of the PDF carries a widget annotation.
    static bool hasFormFields(const QByteArray& pdf);
    // target with page pageIndex of source (all its pages for -1) appended;
    // false with the reason when qpdf cannot do it.
    static bool appendPages(const QByteArray& target, const QByteArray& source, int pageIndex, QByteArray* out,
                            QString* error);
};

}  // namespace pdfengine
