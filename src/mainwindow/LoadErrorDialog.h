#pragma once

#include <QDialog>

// "Ошибка PDF": a sample of how a load failure is told, with fixed details.
// Presentation only: every button just closes the window.
class LoadErrorDialog : public QDialog {
    Q_OBJECT
public:
    explicit LoadErrorDialog(QWidget* parent);
};
