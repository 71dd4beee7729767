#include "PrintDevice.h"

#include <QObject>
#include <QPrintDialog>

SystemPrintDevice::SystemPrintDevice() : m_printer(QPrinter::HighResolution) {}

bool SystemPrintDevice::confirm(QWidget* parent)
{
    QPrintDialog dialog(&m_printer, parent);
    dialog.setWindowTitle(QObject::tr("Печать"));
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    return dialog.exec() == QDialog::Accepted;
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
