#pragma once
// Answers to the file dialogs and prompts of the save, export and print
// tests, and what they look at in the written files.

#include "PromptDriver.h"
#include "WindowTestSupport.h"

#include "PdfTools.h"

#include <QAbstractItemView>
#include <QCryptographicHash>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>

namespace exporttest {


// Answers the next file dialog with a filter and a typed name.
inline void answerFileDialog(prompt::Driver& prompts, const QString& filter, const QString& path)
{
    prompts.whenShown([filter, path](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files) {
            dialog->reject();
            return;
        }
        if (!filter.isEmpty())
            files->selectNameFilter(filter);
        files->setDirectory(QFileInfo(path).absolutePath());
        for (QAbstractItemView* itemView : files->findChildren<QAbstractItemView*>())
            itemView->clearSelection();
        files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QFileInfo(path).fileName());
        dialog->done(QDialog::Accepted);
    }, prompt::isQuestion);
}

inline void acceptResolution(prompt::Driver& prompts, int dpi)
{
    prompts.whenShown([dpi](QDialog* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        if (input)
            input->setIntValue(dpi);
        dialog->accept();
    }, prompt::isQuestion);
}

// Records the title and text of the next notice, then closes it.
inline void noteNotice(prompt::Driver& prompts, QString* told)
{
    prompts.whenShown([told](QDialog* dialog) {
        QLabel* text = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"));
        *told = dialog->windowTitle() + QLatin1Char('|') + (text ? text->text() : QString());
        dialog->reject();
    }, prompt::isQuestion);
}

inline TextBlock editedBlock()
{
    TextBlock block;
    block.text = QStringLiteral("EDITED EDITED");
    block.rect = QRectF(72, 72, 300, 30);
    block.fontSize = 20;
    block.textEdited = true;
    return block;
}

inline int inkIn(const QImage& image, const QRect& area)
{
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    return ink;
}

inline QByteArray imagesDigest(const QString& pdf, const QString& folder)
{
    QDir().mkpath(folder);
    pdftools::run(QStringLiteral("pdfimages"), {pdf, folder + QStringLiteral("/img")});
    QCryptographicHash hash(QCryptographicHash::Md5);
    for (const QString& name : fixtures::filesIn(folder))
        hash.addData(fixtures::readFile(folder + QLatin1Char('/') + name));
    return hash.result();
}

// Accepts the scanned-look dialog, after setting the output field when asked.
inline void acceptScannedDialog(prompt::Driver& prompts, const QString& output = QString())
{
    prompts.whenShown([output](QDialog* dialog) {
        if (!output.isEmpty())
            dialog->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"))->setText(output);
        dialog->accept();
    });
}


} // namespace exporttest
