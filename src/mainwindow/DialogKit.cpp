#include "DialogKit.h"

#include "OutputPaths.h"
#include "UiTranslate.h"

#include <QAbstractSpinBox>
#include <QBoxLayout>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kInfoMinimumWidth = 300;
constexpr int kQuestionMinimumWidth = 360;
constexpr int kUnsavedMinimumWidth = 440;
constexpr int kPdfFileMinimumWidth = 460;
constexpr int kButtonRowSpacing = 8;
constexpr int kDialogSpacing = 10;
constexpr qint64 kKibibyte = 1024;
constexpr qint64 kMebibyte = 1024 * 1024;

// Turns the wheel away from an unfocused value control: the event is left
// unaccepted, so it goes on to the scrolling area around it.
class UnfocusedWheelFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (event->type() != QEvent::Wheel || !widget || widget->hasFocus())
            return false;
        event->ignore();
        return true;
    }
};

const QMargins kSimplePromptMargins(20, 16, 20, 14);
const QMargins kTitledPromptMargins(18, 18, 18, 16);

// The shared frame of every prompt: a modal stack dialog with only a close
// button in its title bar and a vertical layout.
QVBoxLayout* setUpPrompt(QDialog& dialog, const QString& title, int minimumWidth, const QMargins& margins)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowCloseButtonHint);
    dialog.setModal(true);
    dialog.setObjectName(QStringLiteral("AppDialog"));
    dialog.setWindowTitle(title);
    dialog.setMinimumWidth(minimumWidth);
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(margins);
    layout->setSpacing(kDialogSpacing);
    return layout;
}

QLabel* wrappedSubtitle(const QString& text)
{
    QLabel* subtitle = label(text, QStringLiteral("DialogSubtitle"));
    subtitle->setWordWrap(true);
    return subtitle;
}

// A right-aligned button row; the buttons keep the given order.
QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->setSpacing(kButtonRowSpacing);
    row->addStretch(1);
    for (QPushButton* button : buttons)
        row->addWidget(button);
    return row;
}

QPushButton* primaryButton(const QString& text)
{
    return dialogButton(text, QStringLiteral("PrimaryDialogButton"));
}

// The primary button is the default and holds the focus when the prompt
// opens, so Enter takes it (a focused secondary button would take Enter
// otherwise). Escape rejects, which every prompt reads as its cancel.
void runPrompt(QDialog& dialog, QPushButton* primary)
{
    primary->setDefault(true);
    primary->setFocus(Qt::OtherFocusReason);
    dialog.exec();
}

QPushButton* secondaryButton(const QString& text)
{
    return dialogButton(text, QStringLiteral("SecondaryDialogButton"));
}

// Runs a prompt whose buttons set result; rejecting leaves the initial value.
template <typename Result>
void onClickSet(QPushButton* button, QDialog& dialog, Result& result, Result value, bool accept)
{
    QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &result, value, accept] {
        result = value;
        if (accept)
            dialog.accept();
        else
            dialog.reject();
    });
}

} // namespace

void appInfo(QWidget* parent, const QString& title, const QString& text)
{
    QDialog dialog(parent);
    QVBoxLayout* layout = setUpPrompt(dialog, title, kInfoMinimumWidth, kSimplePromptMargins);
    QPushButton* ok = primaryButton(QStringLiteral("OK"));
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(wrappedSubtitle(text));
    layout->addLayout(buttonRow({ok}));
    runPrompt(dialog, ok);
}

bool appQuestion(QWidget* parent, const QString& title, const QString& text, const QString& primaryText,
                 const QString& secondaryText)
{
    QDialog dialog(parent);
    QVBoxLayout* layout = setUpPrompt(dialog, title, kQuestionMinimumWidth, kSimplePromptMargins);
    bool confirmed = false;
    QPushButton* secondary = secondaryButton(secondaryText);
    QPushButton* primary = primaryButton(primaryText);
    onClickSet(primary, dialog, confirmed, true, true);
    QObject::connect(secondary, &QPushButton::clicked, &dialog, &QDialog::reject);
    layout->addWidget(wrappedSubtitle(text));
    layout->addLayout(buttonRow({secondary, primary}));
    runPrompt(dialog, primary);
    return confirmed;
}

bool appOverwriteQuestion(QWidget* parent, const QString& title)
{
    return appQuestion(parent, title, QObject::tr("Файл уже существует. Перезаписать?"), QObject::tr("Перезаписать"),
                       QObject::tr("Отмена"));
}

QString withExtensionAsked(QWidget* parent, const QString& title, const QString& chosen, const QString& suffix)
{
    const QString target = withExtension(chosen, suffix);
    if (target != chosen && QFileInfo::exists(target) && !appOverwriteQuestion(parent, title))
        return QString();
    return target;
}

int appUnsavedChangesQuestion(QWidget* parent)
{
    QDialog dialog(parent);
    QVBoxLayout* layout = setUpPrompt(dialog, QObject::tr("Несохранённые изменения"), kUnsavedMinimumWidth,
                                      kTitledPromptMargins);
    int answer = UnsavedCancel;
    QPushButton* discard = secondaryButton(QObject::tr("Не сохранять"));
    QPushButton* cancel = secondaryButton(QObject::tr("Отмена"));
    QPushButton* save = primaryButton(QObject::tr("Сохранить"));
    onClickSet(save, dialog, answer, int(UnsavedSave), true);
    onClickSet(discard, dialog, answer, int(UnsavedDiscard), true);
    onClickSet(cancel, dialog, answer, int(UnsavedCancel), false);
    layout->addWidget(label(QObject::tr("Сохранить изменения?"), QStringLiteral("DialogTitle")));
    layout->addWidget(wrappedSubtitle(QObject::tr("Документ изменён. Сохранить изменения перед закрытием?")));
    layout->addLayout(buttonRow({discard, cancel, save}));
    runPrompt(dialog, save);
    return answer;
}

int appPdfFileQuestion(QWidget* parent, const QString& title, const QString& text, const QString& firstChoiceText,
                       const QString& primaryChoiceText, const QString& cancelText)
{
    QDialog dialog(parent);
    QVBoxLayout* layout = setUpPrompt(dialog, title, kPdfFileMinimumWidth, kTitledPromptMargins);
    int answer = PdfFileCancel;
    QPushButton* first = secondaryButton(firstChoiceText);
    QPushButton* cancel = secondaryButton(cancelText);
    QPushButton* primary = primaryButton(primaryChoiceText);
    onClickSet(first, dialog, answer, int(PdfFileFirstChoice), true);
    onClickSet(primary, dialog, answer, int(PdfFilePrimaryChoice), true);
    onClickSet(cancel, dialog, answer, int(PdfFileCancel), false);
    layout->addWidget(label(title, QStringLiteral("DialogTitle")));
    layout->addWidget(wrappedSubtitle(text));
    layout->addLayout(buttonRow({first, cancel, primary}));
    runPrompt(dialog, primary);
    return answer;
}

QLabel* label(const QString& text, const QString& objectName)
{
    auto* result = new QLabel(text);
    if (!objectName.isEmpty())
        result->setObjectName(objectName);
    return result;
}

QPushButton* dialogButton(const QString& text, const QString& objectName)
{
    auto* button = new QPushButton(text);
    button->setObjectName(objectName);
    return button;
}

QLineEdit* dialogLineEdit(const QString& text)
{
    auto* edit = new QLineEdit(text);
    edit->setObjectName(QStringLiteral("DialogLineEdit"));
    return edit;
}

QString formatFileSize(qint64 bytes)
{
    // Sizes are mostly set on widgets already shown: the unit comes translated.
    if (bytes < kKibibyte)
        return uiTranslate(QObject::tr("%1 Б")).arg(bytes);
    if (bytes < kMebibyte)
        return uiTranslate(QObject::tr("%1 КБ")).arg(double(bytes) / double(kKibibyte), 0, 'f', 1);
    return uiTranslate(QObject::tr("%1 МБ")).arg(double(bytes) / double(kMebibyte), 0, 'f', 2);
}

void showCentredOn(QWidget* dialog, QWidget* window)
{
    dialog->move(window->frameGeometry().center() - dialog->rect().center());
    dialog->show();
}

QVBoxLayout* setUpInfoWindow(QDialog* dialog, const QString& title, const QSize& size, int margin)
{
    dialog->setObjectName(QStringLiteral("AppDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->resize(size);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(margin, margin, margin, margin);
    return layout;
}

QHBoxLayout* closingButtonRow(QDialog* dialog, const QList<std::pair<QString, QString>>& buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (const auto& [text, objectName] : buttons) {
        QPushButton* button = dialogButton(text, objectName);
        QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::close);
        row->addWidget(button);
    }
    return row;
}

void wheelOnlyWhenFocused(QWidget* root)
{
    auto* filter = new UnfocusedWheelFilter(root);
    QList<QWidget*> controls;
    for (QAbstractSpinBox* box : root->findChildren<QAbstractSpinBox*>())
        controls << box;
    for (QComboBox* box : root->findChildren<QComboBox*>())
        controls << box;
    for (QWidget* control : std::as_const(controls)) {
        if (control->focusPolicy() == Qt::WheelFocus)
            control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(filter);
    }
}
