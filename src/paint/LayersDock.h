#pragma once

#include <QDockWidget>

class QListWidget;

namespace paint {

class Document;

// The layers of a borrowed document, top layer in the first row, with
// visibility boxes and buttons to add, remove, move and merge layers.
class LayersDock : public QDockWidget {
    Q_OBJECT
public:
    explicit LayersDock(QWidget* parent = nullptr);

    void setDocument(Document* document);

public slots:
    // Rebuilds the list from the document without emitting anything.
    void refresh();

signals:
    void changed();
    void mergeDownRequested();
    void flattenRequested();

private:
    // The layer index shown in the current row, or -1.
    int currentLayerIndex() const;
    void moveCurrentLayer(int step);

    Document* document = nullptr;
    QListWidget* layerList = nullptr;
};

} // namespace paint
