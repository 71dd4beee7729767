#pragma once
// A canvas on a document, laid out so the picture's position is known.

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "Tool.h"

#include <QMouseEvent>
#include <QTest>

#include <memory>

// Remembers what reached it and can ask for a crop on Enter.
class RecordingTool : public paint::Tool {
public:
    QString name() const override { return QStringLiteral("Проба"); }
    void mousePress(paint::CanvasWidget*, paint::Document*, QMouseEvent*, const QPoint& pos) override { presses << pos; }
    bool wantsCropOnEnter() const override { return cropOnEnter; }

    QList<QPoint> presses;
    bool cropOnEnter = false;
};

struct CanvasFixture {
    explicit CanvasFixture(const QSize& imageSize = QSize(900, 520), const QSize& widgetSize = QSize(948, 568))
        : document(std::make_unique<paint::Document>(imageSize))
    {
        canvas.resize(widgetSize);
        canvas.show();
        canvas.setTool(&tool);
        canvas.setDocument(document.get());
        canvas.fitToView();
    }

    paint::Layer& layer(int index) { return *document->layers[index]; }

    paint::CanvasWidget canvas;
    RecordingTool tool;
    std::unique_ptr<paint::Document> document;
};
