#include "ToolsDock.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFontComboBox>
#include <QLabel>
#include <QSlider>
#include <QToolButton>

namespace paint {

namespace {

struct ToolRow {
    const char* id;
    const char* label;
    const char* icon;
    bool separatorBefore;
    bool enabled;
};

constexpr ToolRow kToolRows[] = {
    { "select", "Выделение", ":/icons/tool_select.svg", false, true },
    { "wand", "Волшебная палочка", ":/icons/tool_magic_wand.svg", false, true },
    { "lasso", "Лассо", ":/icons/tool_lasso.svg", false, true },
    { "move", "Перемещение", ":/icons/tool_move.svg", false, true },
    { "crop", "Обрезка", ":/icons/tool_crop.svg", false, true },
    { "zoom", "Масштаб", ":/icons/tool_zoom.svg", true, true },
    { "hand", "Рука", ":/icons/tool_hand.svg", false, true },
    { "eyedropper", "Пипетка", ":/icons/tool_eyedropper.svg", true, true },
    { "pencil", "Карандаш", ":/icons/tool_pencil.svg", true, true },
    { "brush", "Кисть", ":/icons/tool_brush.svg", false, true },
    { "eraser", "Ластик", ":/icons/tool_eraser.svg", false, true },
    { "fill", "Заливка", ":/icons/tool_fill.svg", false, true },
    { "text", "Текст", ":/icons/tool_text.svg", false, true },
    { "gradient", "Градиент", ":/icons/tool_gradient.svg", false, true },
    { "line", "Линия", ":/icons/tool_line.svg", true, true },
    { "rect", "Прямоугольник", ":/icons/tool_rectangle.svg", false, true },
    { "ellipse", "Эллипс", ":/icons/tool_ellipse.svg", false, true },
    { "stamp", "Штамп", ":/icons/tool_stamp.svg", true, false },
};

constexpr QSize kIconSize(24, 24);

} // namespace

ToolsDock::ToolsDock(QWidget* parent)
    : QToolBar(parent)
{
    setWindowTitle(QStringLiteral("Инструменты"));
    setIconSize(kIconSize);
    setMovable(true);
    setFloatable(true);
    addToolButtons();
    addSizeControls();
    addTextControls();
    setTextControlsVisible(false);

    connect(toolGroup, &QButtonGroup::buttonClicked, this, [this](QAbstractButton* button) {
        const QString id = button->property("toolId").toString();
        setTextControlsVisible(id == QLatin1String("text"));
        emit toolSelected(id);
    });
}

void ToolsDock::addToolButtons()
{
    toolGroup = new QButtonGroup(this);
    toolGroup->setExclusive(true);
    int index = 0;
    for (const ToolRow& row : kToolRows) {
        if (row.separatorBefore)
            addSeparator();
        auto* button = new QToolButton(this);
        button->setIcon(QIcon(QString::fromLatin1(row.icon)));
        button->setIconSize(kIconSize);
        button->setFixedSize(36, 36);
        button->setCheckable(true);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        const QString label = QString::fromUtf8(row.label);
        button->setToolTip(row.enabled ? label : label + QStringLiteral(" (не реализован)"));
        button->setProperty("toolId", QString::fromLatin1(row.id));
        button->setEnabled(row.enabled);
        toolGroup->addButton(button, index++);
        addWidget(button);
        if (qstrcmp(row.id, "brush") == 0)
            button->setChecked(true);
    }
}

void ToolsDock::addSizeControls()
{
    addSeparator();
    addWidget(new QLabel(QStringLiteral("  Размер:"), this));
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(1, 100);
    slider->setValue(8);
    slider->setFixedWidth(110);
    slider->setToolTip(QStringLiteral("Размер инструмента / размер текста"));
    addWidget(slider);
    sizeValueLabel = new QLabel(QStringLiteral(" 8 "), this);
    sizeValueLabel->setMinimumWidth(28);
    addWidget(sizeValueLabel);
    connect(slider, &QSlider::valueChanged, this, [this](int value) {
        sizeValueLabel->setText(QStringLiteral(" %1 ").arg(value));
        emit sizeChanged(value);
    });
}

void ToolsDock::addTextControls()
{
    textControlActions << addSeparator();
    textControlActions << addWidget(new QLabel(QStringLiteral("  Шрифт:"), this));
    auto* fonts = new QFontComboBox(this);
    fonts->setFixedWidth(160);
    fonts->setToolTip(QStringLiteral("Семейство шрифта"));
    textControlActions << addWidget(fonts);

    auto makeToggle = [this](const QString& text, const QString& tip) {
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setCheckable(true);
        button->setFixedSize(26, 26);
        button->setToolTip(tip);
        textControlActions << addWidget(button);
        return button;
    };
    QToolButton* boldButton = makeToggle(QStringLiteral("B"), QStringLiteral("Жирный"));
    QFont boldFont = boldButton->font();
    boldFont.setWeight(QFont::Bold);
    boldButton->setFont(boldFont);
    QToolButton* italicButton = makeToggle(QStringLiteral("I"), QStringLiteral("Курсив"));
    QFont italicFont = italicButton->font();
    italicFont.setItalic(true);
    italicButton->setFont(italicFont);

    connect(fonts, &QFontComboBox::currentFontChanged, this,
            [this](const QFont& font) { emit fontFamilyChanged(font.family()); });
    connect(boldButton, &QToolButton::toggled, this, &ToolsDock::boldChanged);
    connect(italicButton, &QToolButton::toggled, this, &ToolsDock::italicChanged);
}

void ToolsDock::setTextControlsVisible(bool visible)
{
    for (QAction* action : std::as_const(textControlActions))
        action->setVisible(visible);
}

} // namespace paint
