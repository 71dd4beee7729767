#pragma once
// The whole-document recognition dialog: the document's size and language,
// a progress bar, a log of the pages and one button that stops the run while
// it lasts and closes the dialog once it is over.

#include <QDialog>

class QListWidget;
class QProgressBar;
class QPushButton;

class OcrProgressDialog : public QDialog {
    Q_OBJECT

public:
    // pageCount < 0: no document is open and no run will come.
    OcrProgressDialog(QWidget* parent, int pageCount, const QString& languageName);

    QProgressBar* bar() const { return progressBar; }
    QListWidget* log() const { return logList; }

    // A line at the end of the log, scrolled into view.
    void addLine(const QString& line);
    // While a run lasts the button and closing the dialog ask it to stop.
    void setRunning(bool running);
    bool isRunning() const { return running; }

signals:
    void stopRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void requestStop();

    QProgressBar* progressBar = nullptr;
    QListWidget* logList = nullptr;
    QPushButton* cancelButton = nullptr;
    bool running = false;
    bool stopAsked = false;
};
