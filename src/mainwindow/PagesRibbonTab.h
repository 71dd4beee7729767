#pragma once

#include <QWidget>

class MainWindow;
class QToolButton;

// The "Страницы" ribbon tab: page operations, rotation and quick navigation.
class PagesRibbonTab : public QWidget {
    Q_OBJECT
public:
    explicit PagesRibbonTab(MainWindow& window);

    // Their enabled state follows the document (the window's page controls).
    QToolButton* insertButton() const { return m_insert; }
    QToolButton* removeButton() const { return m_remove; }

private:
    QToolButton* m_insert = nullptr;
    QToolButton* m_remove = nullptr;
};
