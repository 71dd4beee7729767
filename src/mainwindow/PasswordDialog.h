#pragma once

#include <QDialog>

// "Пароль PDF": asks for a document's password. Presentation only: what is
// typed is never read, and every button just closes the window.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordDialog(QWidget* parent);
};
