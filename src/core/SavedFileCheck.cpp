#include "SavedFileCheck.h"

#include "QpdfFile.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>

#include <QMutex>

namespace pdfengine {

namespace {

QMutex s_faultMutex;
std::function<void(QByteArray&)> s_fault;

QString unreadableText(const QString& detail)
{
    return QStringLiteral("Записанный файл не читается другими программами: %1").arg(detail);
}

}  // namespace

QString SavedFileCheck::problem(const QByteArray& bytes, int pages)
{
    QpdfFile file;
    QString error;
    if (!file.load(bytes, &error, QStringLiteral("saved file")))
        return unreadableText(error.left(300));
    int found = -1;
    if (!file.run([&found](QPDF& pdf) { found = int(pdf.getAllPages().size()); }, &error))
        return unreadableText(error.left(300));
    // Warnings given while the cross-references and the page tree were read
    // mean qpdf had to repair what it read.
    if (const int warnings = file.damageWarningCount(); warnings > 0)
        return unreadableText(QStringLiteral("предупреждений при чтении: %1.").arg(warnings));
    if (found != pages)
        return unreadableText(QStringLiteral("в нём %1 стр. вместо %2.").arg(found).arg(pages));
    return QString();
}

void SavedFileCheck::setFaultForTests(std::function<void(QByteArray&)> fault)
{
    QMutexLocker lock(&s_faultMutex);
    s_fault = std::move(fault);
}

void SavedFileCheck::applyFaultForTests(QByteArray& bytes)
{
    QMutexLocker lock(&s_faultMutex);
    if (s_fault)
        s_fault(bytes);
}

}  // namespace pdfengine
