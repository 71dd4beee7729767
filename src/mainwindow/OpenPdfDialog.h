#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

// "Открыть PDF": the recent files, a folder's PDF files, the system picker.
// It opens nothing itself: the window opens what openRequested names.
class OpenPdfDialog : public QDialog {
    Q_OBJECT
public:
    explicit OpenPdfDialog(QWidget* parent);

    // Rows for the paths whose files exist, the first one chosen; the
    // disabled "Недавних файлов пока нет" when none does.
    void fillList(const QStringList& paths);
    // The folder's readable *.pdf files, any case, sorted by name.
    void listFolder(const QString& folder);

signals:
    void openRequested(const QString& path);
    void scanRequested();

private:
    void openCurrentRow();
    void choosePdf();
    void chooseFolder();
    void clearRecent();
    void showPlaceholder(const QString& text);

    QListWidget* m_list = nullptr;
    QPushButton* m_clear = nullptr;
};
