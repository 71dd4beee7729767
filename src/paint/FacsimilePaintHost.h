#pragma once

#include "FillTool.h"
#include "SelectionTools.h"
#include "ShapeTool.h"
#include "StrokeTool.h"
#include "ViewTools.h"

#include <QFrame>
#include <QHash>
#include <QMetaObject>

#include <memory>

class QLabel;

namespace paint {

class CanvasWidget;
class Document;
class Layer;
class LayersDock;
class PaletteDock;
class ToolsDock;

// The picture editor: owns the document and one instance of every tool,
// lays out the canvas and the docks and wires them together.
class FacsimilePaintHost : public QFrame {
public:
    explicit FacsimilePaintHost(QWidget* parent = nullptr);
    ~FacsimilePaintHost() override;

    // One transparent layer "Факсимиле" of the size (at least 1x1), holding
    // the image scaled to it when the image is not null.
    void resetDocument(const QSize& size, const QImage& image);
    // Unknown ids choose the brush. A pending shape is committed first.
    void selectTool(const QString& id);
    QString currentToolId() const { return m_currentToolId; }
    Tool* tool(const QString& id) const { return m_tools.value(id); }

    Document* document() const { return m_document.get(); }
    CanvasWidget* canvas() const { return m_canvas; }
    ToolsDock* toolsDock() const { return m_toolsDock; }
    LayersDock* layersDock() const { return m_layersDock; }
    PaletteDock* paletteDock() const { return m_paletteDock; }

    void loadFile();
    // Replaces the picture with the file's; false, picture kept, when it cannot be read.
    bool loadImageFile(const QString& path);
    void clearImage();
    void cropSelection();
    void makeBackgroundTransparent();
    void showBackgroundToleranceDialog(const QColor& color);

private:
    void buildLayout();
    void connectTools();
    void showPickHint();
    void showBackgroundPreview(Layer* layer, const QImage& image);

    std::unique_ptr<Document> m_document;
    CanvasWidget* m_canvas = nullptr;
    ToolsDock* m_toolsDock = nullptr;
    LayersDock* m_layersDock = nullptr;
    PaletteDock* m_paletteDock = nullptr;
    QHash<QString, Tool*> m_tools;
    QString m_currentToolId = QStringLiteral("brush");
    QLabel* m_pickHint = nullptr;
    QMetaObject::Connection m_pendingPick;

    BrushTool m_brush;
    EraserTool m_eraser;
    LineTool m_line;
    RectTool m_rect;
    EllipseTool m_ellipse;
    FillTool m_fill;
    PencilTool m_pencil;
    EyedropperTool m_eyedropper;
    ZoomTool m_zoom;
    HandTool m_hand;
    MoveTool m_move;
    SelectTool m_select;
    TextTool m_text;
    GradientTool m_gradient;
    WandTool m_wand;
    LassoTool m_lasso;
    CropTool m_crop;
};

} // namespace paint
