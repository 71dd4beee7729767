#pragma once

#include <QDialog>

// The outcome of an update check in a small window of its own. The text is
// plain and never holds links; "Открыть ссылку" is offered only for link.
class UpdateResultDialog : public QDialog {
    Q_OBJECT
public:
    UpdateResultDialog(const QString& title, const QString& text, const QString& link, QWidget* parent);
};
