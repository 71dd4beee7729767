#pragma once

#include <QDialog>

#include <functional>

class QComboBox;
class QSpinBox;

// The program's own print window: paper, orientation, scale and copies.
// "Печать" stores them and prints; "Системный диалог..." closes and prints
// with the settings as stored. Not modal; deletes itself when closed.
class PrintDialog : public QDialog {
    Q_OBJECT

public:
    // subtitle names the document, or is "Документ не открыт" with canPrint
    // false. print runs the print path.
    PrintDialog(const QString& subtitle, bool canPrint, std::function<void()> print, QWidget* parent);

    // Writes the four choices to the "print" settings group.
    void storeChoices() const;

private:
    QWidget* buildPreviewPanel();
    QWidget* buildSettingsColumn();

    std::function<void()> m_print;
    QComboBox* m_paper = nullptr;
    QComboBox* m_orientation = nullptr;
    QComboBox* m_scale = nullptr;
    QSpinBox* m_copies = nullptr;
};
