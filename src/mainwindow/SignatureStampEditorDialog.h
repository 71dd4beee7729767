#pragma once

#include "SignatureStampTemplate.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFontComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The stamp template editor: name, picture, and text lines with a live
// preview. It edits a copy and writes only on "Сохранить".
class SignatureStampEditorDialog : public QDialog {
    Q_OBJECT
public:
    // Picks a colour starting at the given one; invalid when cancelled.
    using ColorChooser = std::function<QColor(QWidget* parent, const QColor& start)>;
    // Edits a picture; null when cancelled.
    using PictureEditor = std::function<QImage(QWidget* parent, const QImage& picture)>;

    SignatureStampEditorDialog(QWidget* parent, const QString& templateId);

    void setColorChooser(ColorChooser chooser) { m_chooseColor = std::move(chooser); }
    void setPictureEditor(PictureEditor editor) { m_editPicture = std::move(editor); }

    const SignatureStampTemplate& workingTemplate() const { return m_template; }
    // The id saved under; empty until a save succeeded.
    QString savedId() const { return m_savedId; }

    // The line a preset adds when n lines are already there.
    static SignatureStampVariable presetLine(const QString& text, int n);

private:
    void buildLayout();
    int selectedLine() const;
    void loadSelection();
    void storeEditors();
    void addPresetLine();
    void deleteLine();
    void chooseColor();
    void editPicture();
    void save();
    void resetTemplate();
    void restyleColorButton();
    void refreshPreview();
    void rebuildList();

    SignatureStampTemplate m_template;
    QString m_savedId;
    ColorChooser m_chooseColor;
    PictureEditor m_editPicture;

    QLineEdit* m_nameEdit = nullptr;
    QLabel* m_preview = nullptr;
    QComboBox* m_presets = nullptr;
    QListWidget* m_lines = nullptr;
    QLineEdit* m_textEdit = nullptr;
    QDoubleSpinBox* m_xSpin = nullptr;
    QDoubleSpinBox* m_ySpin = nullptr;
    QDoubleSpinBox* m_widthSpin = nullptr;
    QDoubleSpinBox* m_heightSpin = nullptr;
    QFontComboBox* m_fontBox = nullptr;
    QDoubleSpinBox* m_sizeSpin = nullptr;
    QCheckBox* m_boldBox = nullptr;
    QCheckBox* m_italicBox = nullptr;
    QPushButton* m_colorButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
};

// Runs the editor modally; the id saved under, or empty when not saved.
QString editSignatureStampTemplate(QWidget* parent, const QString& templateId);
