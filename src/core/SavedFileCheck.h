#pragma once
// The bytes a save is about to put in the user's file, read back by qpdf
// first: a file only pdfium still opens must never replace one that other
// programs read.

#include <QByteArray>
#include <QString>

#include <functional>

namespace pdfengine {

class SavedFileCheck {
public:
    // Empty when qpdf reads bytes without damage and finds pages pages in
    // them; else why the bytes must not be written.
    static QString problem(const QByteArray& bytes, int pages);

    // Tests only: changes the bytes every later check is given, to stand for
    // a writer that made a faulty file. An empty function ends it.
    static void setFaultForTests(std::function<void(QByteArray&)> fault);
    // The bytes as the fault, when one is set, makes them.
    static void applyFaultForTests(QByteArray& bytes);
};

}  // namespace pdfengine
