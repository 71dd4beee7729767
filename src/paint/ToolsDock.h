#pragma once

#include <QList>
#include <QToolBar>

class QAction;
class QButtonGroup;
class QLabel;

namespace paint {

// The editor's tool bar: one checkable button per tool, the size slider and
// the font controls shown only for the text tool. It reports choices only.
class ToolsDock : public QToolBar {
    Q_OBJECT
public:
    explicit ToolsDock(QWidget* parent = nullptr);

    void setTextControlsVisible(bool visible);

signals:
    void toolSelected(const QString& toolId);
    void sizeChanged(int size);
    void fontFamilyChanged(const QString& family);
    void boldChanged(bool on);
    void italicChanged(bool on);

private:
    void addToolButtons();
    void addSizeControls();
    void addTextControls();

    QButtonGroup* toolGroup = nullptr;
    QLabel* sizeValueLabel = nullptr;
    QList<QAction*> textControlActions;
};

} // namespace paint
