#pragma once

#include <QDialog>

// "Свойства аннотации": a window that shows comment properties and changes
// nothing; both buttons only close it.
class AnnotationPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    explicit AnnotationPropertiesDialog(QWidget* parent);
};
