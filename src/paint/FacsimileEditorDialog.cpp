#include "FacsimileEditorDialog.h"

#include "CanvasWidget.h"
#include "Document.h"
#include "EditorStyle.h"
#include "FacsimilePaintHost.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace paint {

FacsimileEditorDialog::FacsimileEditorDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Редактор факсимиле"));
    setModal(true);
    resize(1120, 760);
    setStyleSheet(editorStyleSheet());
    m_host = new FacsimilePaintHost(this);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* save = buttons->addButton(QStringLiteral("Сохранить"), QDialogButtonBox::AcceptRole);
    save->setObjectName(QStringLiteral("PrimaryAction"));
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(10);
    layout->addWidget(m_host, 1);
    layout->addWidget(buttons);
}

void FacsimileEditorDialog::setImage(const QImage& image)
{
    if (!m_host)
        return;
    if (image.isNull())
        m_host->resetDocument(QSize(900, 520), QImage());
    else
        m_host->resetDocument(image.size(), image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

QImage FacsimileEditorDialog::image() const
{
    return m_host && m_host->document() ? m_host->document()->mergedImage() : QImage();
}

void FacsimileEditorDialog::accept()
{
    // What the user sees is what is kept: a shape still being placed goes in.
    if (m_host)
        m_host->canvas()->commitPendingShape();
    QDialog::accept();
}

} // namespace paint
