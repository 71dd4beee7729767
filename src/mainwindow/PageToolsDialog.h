#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QTabWidget;

// "Операции со страницами": insert another file's pages, extract pages into
// a new PDF, merge files. The dialog holds the inputs; "Применить" asks the
// window to run the visible tab's operation (applyRequested).
class PageToolsDialog : public QDialog {
    Q_OBJECT
public:
    enum Tab { InsertTab = 0, ExtractTab = 1, MergeTab = 2 };

    struct Setup {
        QStringList files;      // preset: the insert field's first file and the merge list
        bool shellMode = false; // the file manager's merge: application-modal
        bool documentLoaded = false;
        int pageCount = 0;
        QString documentPath;   // listed for merging when files is empty
    };

    PageToolsDialog(const Setup& setup, QWidget* parent);

    Tab currentTab() const;
    QString insertPath() const;
    int insertPosition() const;  // a PageToolsPosition
    QString pageListText() const;
    bool deleteAfterExtraction() const;
    QStringList mergePaths() const;
    bool shellMode() const { return m_shellMode; }
    bool openResultAfterMerge() const;

    // Adds path at the end of the merge list unless it is missing or listed.
    bool addMergeFile(const QString& path);

    // Run when a shell-mode dialog ends while the window is hidden;
    // QCoreApplication::quit unless replaced.
    static void setShellQuit(std::function<void()> quit);

signals:
    void applyRequested();

private:
    QWidget* buildInsertTab(const Setup& setup);
    QWidget* buildExtractTab(const Setup& setup);
    QWidget* buildMergeTab(const Setup& setup);
    void moveCurrentMergeEntry(int step);

    bool m_shellMode = false;
    QTabWidget* m_tabs = nullptr;
    QLineEdit* m_insertPath = nullptr;
    QComboBox* m_position = nullptr;
    QLineEdit* m_pageList = nullptr;
    QCheckBox* m_deleteAfter = nullptr;
    QListWidget* m_mergeList = nullptr;
    QCheckBox* m_openResult = nullptr;
};
