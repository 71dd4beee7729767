#pragma once

#include <QWidget>

class MainWindow;

// The "Вставка" ribbon tab: pages from files at a chosen position, objects
// on the page, form fields and facsimiles, each group by the edition.
class InsertRibbonTab : public QWidget {
    Q_OBJECT
public:
    struct Groups {
        bool imports = false;
        bool objects = false;  // objects and form fields
        bool facsimiles = false;
    };

    InsertRibbonTab(MainWindow& window, Groups groups);
};
