#include "PrintDevice.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QObject>
#include <QPrintDialog>

SystemPrintDevice::SystemPrintDevice() : m_printer(QPrinter::HighResolution) {}

bool SystemPrintDevice::confirm(QWidget* parent)
{
    QPrintDialog dialog(&m_printer, parent);
    dialog.setWindowTitle(QObject::tr("Печать"));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Qt's dialog asks before replacing the name typed as it stands in the
    // working folder, while its printer writes a relative name under the
    // home folder: the file written is the one it asked about.
    m_allowed.clear();
    const auto* typed = dialog.findChild<QLineEdit*>(QStringLiteral("filename"));
    if (typed && typed->isEnabled() && !m_printer.outputFileName().isEmpty()) {
        const QFileInfo asked(typed->text());
        m_printer.setOutputFileName(asked.absoluteFilePath());
        if (asked.exists())
            m_allowed = asked.absoluteFilePath();
    }
    return true;
}

PdfFilePrintDevice::PdfFilePrintDevice(const QString& path) : m_printer(QPrinter::HighResolution)
{
    m_printer.setOutputFormat(QPrinter::PdfFormat);
    m_printer.setOutputFileName(path);
}

bool PdfFilePrintDevice::confirm(QWidget*)
{
    if (!m_accept)
        return false;
    m_printer.setPrintRange(m_range);
    if (m_range == QPrinter::PageRange)
        m_printer.setFromTo(m_from, m_to);
    return true;
}

void PdfFilePrintDevice::chooseRange(QPrinter::PrintRange range, int fromPage, int toPage)
{
    m_range = range;
    m_from = fromPage;
    m_to = toPage;
}
