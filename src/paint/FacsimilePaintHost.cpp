#include "FacsimilePaintHost.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "Layer.h"
#include "LayersDock.h"
#include "PaintResources.h"
#include "PaintTexts.h"
#include "PaletteDock.h"
#include "ToolsDock.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace paint {

namespace {

constexpr QSize kBlankSize(900, 520);
constexpr int kMaxImageSide = 16384;
constexpr qint64 kMaxImagePixels = 64LL * 1024 * 1024;

// Opens a picture file for reading. A FIFO chosen by mistake would hold the
// window on its open for ever and a device reads without end, so the file is
// opened without waiting and its type checked on what was opened.
bool openPictureFile(const QString& path, QFile* file, QString* error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = errno == ENXIO ? QStringLiteral("%1 не является обычным файлом").arg(QFileInfo(path).fileName())
                                : QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file->errorString();
        return false;
    }
    struct stat info {};
    if (::fstat(file->handle(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = QStringLiteral("%1 не является обычным файлом").arg(QFileInfo(path).fileName());
        file->close();
        return false;
    }
    return true;
}

// Reads a picture of bounded size; a null image with the reason otherwise.
QImage readBoundedImage(const QString& path, QString* error)
{
    QFile file;
    if (!openPictureFile(path, &file, error))
        return {};
    QImageReader reader(&file, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setAutoTransform(true);  // photos upright as their EXIF orientation says
    const QSize size = reader.size();
    if (size.isValid()
        && (size.width() > kMaxImageSide || size.height() > kMaxImageSide
            || qint64(size.width()) * size.height() > kMaxImagePixels)) {
        *error = translatedText(QStringLiteral("изображение слишком большое"));
        return {};
    }
    QImage image = reader.read();
    if (image.isNull())
        *error = reader.errorString();
    return image;
}

} // namespace

FacsimilePaintHost::FacsimilePaintHost(QWidget* parent)
    : QFrame(parent)
{
    initPaintResources();
    setObjectName(QStringLiteral("FacsimilePaintFrame"));
    setFrameShape(QFrame::StyledPanel);
    buildLayout();
    connectTools();
    resetDocument(kBlankSize, QImage());
}

FacsimilePaintHost::~FacsimilePaintHost()
{
    // The canvas borrows the document and the tools; let it go first.
    delete m_canvas;
    m_canvas = nullptr;
}

void FacsimilePaintHost::buildLayout()
{
    m_canvas = new CanvasWidget(this);
    m_canvas->setMinimumSize(520, 360);
    m_canvas->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    m_toolsDock = new ToolsDock(this);
    m_toolsDock->setObjectName(QStringLiteral("FacsimileTools"));
    m_toolsDock->setMovable(false);
    m_toolsDock->setFloatable(false);
    m_toolsDock->setIconSize(QSize(24, 24));

    m_layersDock = new LayersDock(this);
    m_paletteDock = new PaletteDock(this);
    for (QDockWidget* dock : { static_cast<QDockWidget*>(m_layersDock), static_cast<QDockWidget*>(m_paletteDock) }) {
        dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
        dock->setMinimumWidth(210);
    }

    auto* title = new QLabel(QStringLiteral("Редактор факсимиле"), this);
    title->setObjectName(QStringLiteral("FacsimileTitle"));
    auto* hint = new QLabel(QStringLiteral("Используйте инструменты VornPaint, затем нажмите «Сохранить»."), this);
    hint->setObjectName(QStringLiteral("FacsimileHint"));

    auto* headerColumn = new QVBoxLayout;
    headerColumn->setContentsMargins(0, 0, 0, 0);
    headerColumn->setSpacing(2);
    headerColumn->addWidget(title);
    headerColumn->addWidget(hint);
    auto* headerRow = new QHBoxLayout;
    headerRow->setContentsMargins(14, 12, 14, 4);
    headerRow->addLayout(headerColumn, 1);

    auto addAction = [&](const QString& text, const QString& icon, void (FacsimilePaintHost::*handler)()) {
        auto* button = new QPushButton(QIcon(icon), text, this);
        button->setObjectName(QStringLiteral("PaintAction"));
        button->setIconSize(QSize(20, 20));
        headerRow->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    addAction(QStringLiteral("Загрузить"), QStringLiteral(":/resources/icons/open.svg"), &FacsimilePaintHost::loadFile);
    addAction(QStringLiteral("Фон в прозрачность"), QStringLiteral(":/icons/background-transparent.svg"),
              &FacsimilePaintHost::makeBackgroundTransparent);
    addAction(QStringLiteral("Обрезать по выделению"), QStringLiteral(":/icons/crop-selection.svg"),
              &FacsimilePaintHost::cropSelection);
    addAction(QStringLiteral("Очистить"), QStringLiteral(":/resources/icons/clear-page.svg"),
              &FacsimilePaintHost::clearImage);

    auto* sideColumn = new QVBoxLayout;
    sideColumn->setContentsMargins(0, 0, 0, 0);
    sideColumn->setSpacing(8);
    sideColumn->addWidget(m_paletteDock, 2);
    sideColumn->addWidget(m_layersDock, 3);
    auto* bodyRow = new QHBoxLayout;
    bodyRow->setContentsMargins(12, 0, 12, 12);
    bodyRow->setSpacing(10);
    bodyRow->addWidget(m_canvas, 1);
    bodyRow->addLayout(sideColumn, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addLayout(headerRow);
    layout->addWidget(m_toolsDock);
    layout->addLayout(bodyRow, 1);
}

void FacsimilePaintHost::connectTools()
{
    m_tools = {
        { QStringLiteral("brush"), &m_brush },       { QStringLiteral("eraser"), &m_eraser },
        { QStringLiteral("line"), &m_line },         { QStringLiteral("rect"), &m_rect },
        { QStringLiteral("ellipse"), &m_ellipse },   { QStringLiteral("fill"), &m_fill },
        { QStringLiteral("pencil"), &m_pencil },     { QStringLiteral("eyedropper"), &m_eyedropper },
        { QStringLiteral("zoom"), &m_zoom },         { QStringLiteral("hand"), &m_hand },
        { QStringLiteral("move"), &m_move },         { QStringLiteral("select"), &m_select },
        { QStringLiteral("text"), &m_text },         { QStringLiteral("gradient"), &m_gradient },
        { QStringLiteral("wand"), &m_wand },         { QStringLiteral("lasso"), &m_lasso },
        { QStringLiteral("crop"), &m_crop },
    };

    connect(m_toolsDock, &ToolsDock::toolSelected, this, [this](const QString& id) { selectTool(id); });
    connect(m_toolsDock, &ToolsDock::sizeChanged, m_canvas, &CanvasWidget::setToolSize);
    connect(m_toolsDock, &ToolsDock::fontFamilyChanged, this, [this](const QString& family) {
        m_text.fontFamily = family;
        m_canvas->setPendingTextFontFamily(family);
    });
    connect(m_toolsDock, &ToolsDock::boldChanged, this, [this](bool on) {
        m_text.bold = on;
        m_canvas->setPendingTextBold(on);
    });
    connect(m_toolsDock, &ToolsDock::italicChanged, this, [this](bool on) {
        m_text.italic = on;
        m_canvas->setPendingTextItalic(on);
    });
    connect(m_paletteDock, &PaletteDock::primaryColorChanged, m_canvas, &CanvasWidget::setPrimaryColor);
    connect(m_paletteDock, &PaletteDock::secondaryColorChanged, m_canvas, &CanvasWidget::setSecondaryColor);
    connect(m_paletteDock, &PaletteDock::sizeChanged, m_canvas, &CanvasWidget::setToolSize);
    connect(m_canvas, &CanvasWidget::colorPicked, m_canvas, &CanvasWidget::setPrimaryColor);
    connect(m_canvas, &CanvasWidget::colorPicked, m_paletteDock, &PaletteDock::externalSetPrimary);
    connect(m_layersDock, &LayersDock::changed, m_canvas, qOverload<>(&CanvasWidget::update));
    // The list is rebuilt after a merge, so a row never stands for a layer that is gone.
    connect(m_layersDock, &LayersDock::mergeDownRequested, this, [this] {
        m_canvas->mergeDown();
        m_layersDock->refresh();
    });
    connect(m_layersDock, &LayersDock::flattenRequested, this, [this] {
        m_canvas->flattenAll();
        m_layersDock->refresh();
    });
}

void FacsimilePaintHost::selectTool(const QString& id)
{
    Tool* chosen = m_tools.value(id, &m_brush);
    m_canvas->commitPendingShape();
    m_canvas->setTool(chosen);
    chosen->setPrimaryColor(m_canvas->primaryColor());
    chosen->setSecondaryColor(m_canvas->secondaryColor());
    chosen->setSize(m_canvas->toolSize());
    m_canvas->setCursor(chosen->cursor());
    m_currentToolId = m_tools.contains(id) ? id : QStringLiteral("brush");
}

void FacsimilePaintHost::resetDocument(const QSize& requested, const QImage& image)
{
    const QSize size(std::max(1, requested.width()), std::max(1, requested.height()));
    auto document = std::make_unique<Document>(size);
    Layer* layer = document->activeLayer();
    layer->name = QStringLiteral("Факсимиле");
    layer->image.fill(Qt::transparent);
    if (!image.isNull()) {
        const QImage scaled = image.size() == size
            ? image
            : image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        layer->image = scaled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    // The views let go of the old document before it is deleted.
    m_layersDock->setDocument(document.get());
    m_canvas->setDocument(document.get());
    m_document = std::move(document);
    selectTool(QStringLiteral("brush"));
    QTimer::singleShot(0, m_canvas, &CanvasWidget::fitToView);
}

void FacsimilePaintHost::loadFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, translatedText(QStringLiteral("Загрузить факсимиле")), QString(),
        translatedText(QStringLiteral("Изображения (*.png *.jpg *.jpeg *.bmp *.webp *.gif *.tif *.tiff);;Все файлы (*)")));
    if (!path.isEmpty())
        loadImageFile(path);
}

bool FacsimilePaintHost::loadImageFile(const QString& path)
{
    QString error;
    const QImage image = readBoundedImage(path, &error);
    if (image.isNull()) {
        QMessageBox::warning(this, translatedText(QStringLiteral("Загрузить факсимиле")),
                             translatedText(QStringLiteral("Не удалось открыть изображение «%1»: %2."))
                                 .arg(QFileInfo(path).fileName(), error));
        return false;
    }
    resetDocument(image.size(), image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    return true;
}

void FacsimilePaintHost::clearImage()
{
    Layer* layer = m_document ? m_document->activeLayer() : nullptr;
    if (!layer)
        return;
    m_canvas->commitPendingShape();
    layer->image.fill(Qt::transparent);
    m_canvas->undoStack()->clear();
    m_canvas->clearSelection();
    m_layersDock->refresh();
    m_canvas->update();
}

void FacsimilePaintHost::cropSelection()
{
    if (m_canvas->selectionPath().isEmpty())
        return;
    m_canvas->cropToSelection();
    m_layersDock->refresh();
    QTimer::singleShot(0, m_canvas, &CanvasWidget::fitToView);
}

} // namespace paint
