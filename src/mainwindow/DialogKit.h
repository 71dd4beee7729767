#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include <utility>

class QDialog;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSize;
class QVBoxLayout;
class QWidget;

// The application's prompts and dialog parts. Their look comes from the
// application style sheet through the object names they set ("AppDialog",
// "DialogTitle", "DialogSubtitle", "PrimaryDialogButton", ...). Texts are shown
// as given; the widgets are translated when they are shown.

// A notice with one "OK" button.
void appInfo(QWidget* parent, const QString& title, const QString& text);

// A two-way question; true only when the primary button was clicked.
bool appQuestion(QWidget* parent, const QString& title, const QString& text, const QString& primaryText,
                 const QString& secondaryText);

// Asks before an existing file is replaced; true only for "Перезаписать".
bool appOverwriteQuestion(QWidget* parent, const QString& title);

// chosen with "." and suffix added unless its extension is suffix already
// (any letter case). The file dialog asked about the name it returned; an
// existing file reached only by adding the extension is asked about here.
// Empty when the user keeps that file.
QString withExtensionAsked(QWidget* parent, const QString& title, const QString& chosen, const QString& suffix);

// Answers of appUnsavedChangesQuestion.
enum UnsavedChangesAnswer : int {
    UnsavedSave = 0,
    UnsavedDiscard = 1,
    UnsavedCancel = 2,
};

// Save, discard or cancel before closing a modified document; closing the
// prompt any other way is UnsavedCancel.
int appUnsavedChangesQuestion(QWidget* parent);

// Answers of appPdfFileQuestion.
enum PdfFileAnswer : int {
    PdfFileFirstChoice = 0,
    PdfFilePrimaryChoice = 1,
    PdfFileCancel = 2,
};

// A three-way choice about a file; closing the prompt is PdfFileCancel.
int appPdfFileQuestion(QWidget* parent, const QString& title, const QString& text, const QString& firstChoiceText,
                       const QString& primaryChoiceText, const QString& cancelText);

// A parentless label; the object name is set only when it is not empty.
QLabel* label(const QString& text, const QString& objectName);

// A parentless button; the object name is always set, an empty one included.
QPushButton* dialogButton(const QString& text, const QString& objectName);

// A parentless single-line field named "DialogLineEdit".
QLineEdit* dialogLineEdit(const QString& text);

// "%1 Б", "%1 КБ" (one decimal) or "%1 МБ" (two decimals), binary steps, in
// the interface language.
QString formatFileSize(qint64 bytes);

// Shows a non-blocking window with its centre on the centre of window's frame.
void showCentredOn(QWidget* dialog, QWidget* window);

// Makes dialog an "AppDialog" window of the given title and size that is
// deleted when closed; its vertical layout with margin on every side.
QVBoxLayout* setUpInfoWindow(QDialog* dialog, const QString& title, const QSize& size, int margin);

// Spin boxes and drop-down lists below root take the mouse wheel only when
// they have the focus, and the wheel no longer gives it: scrolling over a
// form leaves its values as they were and scrolls the form instead.
void wheelOnlyWhenFocused(QWidget* root);

// A row of a stretch and buttons (text, object name), each closing dialog.
QHBoxLayout* closingButtonRow(QDialog* dialog, const QList<std::pair<QString, QString>>& buttons);
