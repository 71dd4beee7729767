#pragma once

#include <QDialog>
#include <QImage>

namespace paint {

class FacsimilePaintHost;

// The modal picture editor: setImage, exec, and on acceptance image().
class FacsimileEditorDialog : public QDialog {
    Q_OBJECT
public:
    explicit FacsimileEditorDialog(QWidget* parent = nullptr);

    // A null picture gives a blank transparent 900x520 picture.
    void setImage(const QImage& image);
    // The visible layers composed; a shape still pending is part of it.
    QImage image() const;
    FacsimilePaintHost* host() const { return m_host; }

    void accept() override;

private:
    FacsimilePaintHost* m_host = nullptr;
};

} // namespace paint
