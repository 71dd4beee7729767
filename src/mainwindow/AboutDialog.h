#pragma once

#include <QDialog>

// "О программе": the product, its build and the components it is made of.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent);
};
