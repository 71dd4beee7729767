#pragma once

#include "MainWindow.h"
#include "PdfDocument.h"

#include <QDialog>
#include <QElapsedTimer>

class QCheckBox;
class QComboBox;
class QGraphicsOpacityEffect;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
class QTableWidget;

// "Поиск и замена": a tool window over the main window's search state, which
// outlives it. Find next, counting and finding all fill its own result table;
// replacing only explains why it is not done.
class SearchDialog : public QDialog {
    Q_OBJECT
public:
    explicit SearchDialog(MainWindow& window);

    // Centred on the main window, shown, raised and activated.
    void present();

    QTableWidget* resultTable() const { return m_table; }
    // Fills the table from a search of the window's document, which runs on
    // a job's thread while the dialog shows its progress; activates the first
    // entry when asked. The number of entries when the search ended at once,
    // else -1 (the table fills when it ends).
    int fillResults(const QString& query, const PdfDocument::FindOptions& options, bool activateFirst);
    // The slider's value (clamped to 0..65) as the dialog's transparency.
    void applyTransparency(int percent);

private:
    struct FindControls {
        QComboBox* find = nullptr;
        QCheckBox* backward = nullptr;
        QCheckBox* wholeWord = nullptr;
        QCheckBox* matchCase = nullptr;
        QRadioButton* regex = nullptr;
    };
    QWidget* buildFindTab();
    QWidget* buildReplaceTab();
    QWidget* buildOpacityRow();
    static PdfDocument::FindOptions optionsOf(const FindControls& controls);
    static QString findText(const FindControls& controls);
    void findNextFromFirstTab();
    void countMatches();
    void findAll();
    void showResults(const QString& query, const PdfDocument::FindOptions& options, bool activateFirst, int count);
    void activateRow(int row);
    void selectCurrentRow();
    void explainReplace();
    void showSearchProgress(int done, int total);
    void fillRows(int generation);
    void setNumberColumnsFitted(bool fitted);

    MainWindow& m_window;
    FindControls m_first;
    FindControls m_second;
    QComboBox* m_replaceWith = nullptr;
    QLabel* m_resultsLabel = nullptr;
    QPushButton* m_stopSearch = nullptr;
    QElapsedTimer m_progressShown;
    // The table's rows being made: the entries, the next row, the page and
    // the ordinal on it reached. A newer fill stops an older one.
    struct RowFill {
        int generation = 0;
        int next = 0;
        int page = -1;
        int onPage = 0;
        QString query;
        QList<MainWindow::SearchResult> entries;
    };
    RowFill m_fill;
    QTableWidget* m_table = nullptr;
    QSlider* m_opacitySlider = nullptr;
    QLabel* m_opacityValue = nullptr;
    QGraphicsOpacityEffect* m_opacityEffect = nullptr;
};
