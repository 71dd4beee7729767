#pragma once

#include <QWidget>

class MainWindow;

// The "Вид" ribbon tab: page layout, full screen, theme and the window's
// option dialogs. The layout buttons keep the user's last choice here.
class ViewRibbonTab : public QWidget {
    Q_OBJECT
public:
    enum Layout { SinglePage, Continuous, Thumbnails };

    ViewRibbonTab(MainWindow& window, bool fontLabelsShown);

signals:
    void fullScreenToggled();
    void layoutChosen(ViewRibbonTab::Layout layout);
    void fontLabelsToggled(bool shown);
    void lightThemeChosen();
    void darkThemeChosen();
    void settingsRequested();
};
