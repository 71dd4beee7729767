#pragma once

#include <QPrinter>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

// Where printed pages go. The print path sets the printer up, lets the
// device confirm it (the system print dialog for a real printer), then
// paints on it.
class PrintDevice {
public:
    virtual ~PrintDevice() = default;
    virtual QPrinter& printer() = 0;
    // False when the user cancelled; the printer's print range is then the
    // one chosen.
    virtual bool confirm(QWidget* parent) = 0;
    // The file whose replacing the confirmation has asked about and the user
    // allowed, or empty.
    virtual QString replacementAllowed() const = 0;
};

// A printer of the system, chosen in Qt's print dialog.
class SystemPrintDevice : public PrintDevice {
public:
    SystemPrintDevice();
    QPrinter& printer() override { return m_printer; }
    bool confirm(QWidget* parent) override;
    QString replacementAllowed() const override { return m_allowed; }

private:
    QPrinter m_printer;
    QString m_allowed;
};

// A PDF file in place of a printer, with the range a user would have chosen;
// what the tests and the benchmark print to.
class PdfFilePrintDevice : public PrintDevice {
public:
    explicit PdfFilePrintDevice(const QString& path);
    QPrinter& printer() override { return m_printer; }
    bool confirm(QWidget* parent) override;

    QString replacementAllowed() const override { return m_allowed; }

    void chooseRange(QPrinter::PrintRange range, int fromPage = 0, int toPage = 0);
    void cancelConfirmation() { m_accept = false; }
    // As a system dialog that asked about replacing path.
    void allowReplacing(const QString& path) { m_allowed = path; }

private:
    QString m_allowed;
    QPrinter m_printer;
    QPrinter::PrintRange m_range = QPrinter::AllPages;
    int m_from = 0;
    int m_to = 0;
    bool m_accept = true;
};

using PrintDeviceFactory = std::function<std::unique_ptr<PrintDevice>()>;
