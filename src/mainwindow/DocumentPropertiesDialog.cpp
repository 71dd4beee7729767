#include "DocumentPropertiesDialog.h"

#include "DialogKit.h"
#include "DocumentJob.h"
#include "PdfDocument.h"
#include "SignedDocument.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>

namespace {

constexpr qint64 kLargestKilobyteSize = 1048575;
constexpr double kMebibyte = 1048576.0;

} // namespace

DocumentPropertiesDialog::DocumentPropertiesDialog(std::shared_ptr<PdfDocument> document, QWidget* parent)
    : QDialog(parent)
{
    QVBoxLayout* layout = setUpInfoWindow(this, tr("Свойства документа"), QSize(620, 480), 14);
    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("DialogTabs"));
    tabs->addTab(buildGeneralTab(document.get()), tr("Общие"));
    tabs->addTab(buildSecurityTab(document.get()), tr("Безопасность"));
    tabs->addTab(buildFontsTab(document), tr("Шрифты"));
    layout->addWidget(tabs, 1);
    layout->addLayout(closingButtonRow(this, {{tr("Закрыть"), QStringLiteral("PrimaryDialogButton")}}));
}

QString DocumentPropertiesDialog::sizeText(qint64 bytes)
{
    if (bytes <= kLargestKilobyteSize)
        return tr("%1 КБ").arg(bytes / 1024);
    return tr("%1 МБ").arg(double(bytes) / kMebibyte, 0, 'f', 1);
}

// A running job is cancelled and waited for here.
DocumentPropertiesDialog::~DocumentPropertiesDialog() = default;

bool DocumentPropertiesDialog::fontsListed() const
{
    return m_fontsListed;
}

QString DocumentPropertiesDialog::versionText(int version)
{
    if (version <= 0)
        return QStringLiteral("—");
    return QStringLiteral("%1.%2").arg(version / 10).arg(version % 10);
}

QStringList DocumentPropertiesDialog::fontList(const PdfDocument& document, const std::function<bool()>& keepGoing)
{
    QStringList fonts;
    QSet<QString> seen;
    const int count = document.pageCount();
    for (int page = 0; page < count; ++page) {
        if (keepGoing && !keepGoing())
            return {};
        for (const QString& name : document.pageFontNames(page)) {
            if (!seen.contains(name)) {
                seen.insert(name);
                fonts << name;
            }
        }
    }
    return fonts;
}

// The file rows stay "—" for a document that has no file yet.
QWidget* DocumentPropertiesDialog::buildGeneralTab(const PdfDocument* document)
{
    const QString none = QStringLiteral("—");
    QStringList values(6, none);
    if (document) {
        values[2] = QString::number(document->pageCount());
        values[5] = versionText(document->fileVersion());
        const QString path = document->filePath();
        if (!path.isEmpty()) {
            const QFileInfo file(path);
            values[0] = file.fileName();
            values[1] = QDir::toNativeSeparators(file.absolutePath());
            values[3] = sizeText(file.size());
            values[4] = file.lastModified().toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm"));
        }
    }
    const QStringList captions{tr("Имя файла:"),   tr("Расположение:"), tr("Страниц:"),
                               tr("Размер файла:"), tr("Изменён:"),      tr("Версия PDF:")};
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    for (int row = 0; row < captions.size(); ++row) {
        grid->addWidget(new QLabel(captions[row]), row, 0);
        grid->addWidget(new QLabel(values[row]), row, 1);
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(int(captions.size()), 1);
    return page;
}

QWidget* DocumentPropertiesDialog::buildSecurityTab(const PdfDocument* document)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(label(tr("Защита: нет"), QStringLiteral("DialogSubtitle")));
    if (const QString signatures = document ? signatureSummary(document->signatures()) : QString();
        !signatures.isEmpty()) {
        QLabel* signatureLine = label(signatures, QStringLiteral("DialogSubtitle"));
        signatureLine->setWordWrap(true);
        layout->addWidget(signatureLine);
    }
    for (const QString& text : {tr("Разрешить печать"), tr("Разрешить копирование текста"), tr("Разрешить редактирование")})
        layout->addWidget(new QCheckBox(text));
    layout->addStretch(1);
    return page;
}

QWidget* DocumentPropertiesDialog::buildFontsTab(const std::shared_ptr<PdfDocument>& document)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    m_fonts = new QListWidget;
    layout->addWidget(m_fonts);
    if (!document) {
        m_fonts->addItem(tr("Документ не открыт"));
        m_fontsListed = true;
        return page;
    }
    // Text extraction of dense pages takes long; the window shows meanwhile.
    m_foundFonts = std::make_shared<QStringList>();
    m_fontJob = new DocumentJob(document, this);
    connect(m_fontJob, &DocumentJob::finished, this, [this](bool cancelled) {
        if (!cancelled)
            listFonts(*m_foundFonts);
    });
    m_fontJob->start([found = m_foundFonts](DocumentJob::Control& control) {
        *found = fontList(*control.document(), [&control] { return !control.isCancelled(); });
    });
    return page;
}

void DocumentPropertiesDialog::listFonts(const QStringList& fonts)
{
    if (fonts.isEmpty())
        m_fonts->addItem(tr("(шрифты не обнаружены)"));
    else
        m_fonts->addItems(fonts);
    m_fontsListed = true;
}
