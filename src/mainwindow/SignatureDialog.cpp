#include "SignatureDialog.h"

#include "BusyRing.h"
#include "DialogKit.h"
#include "FileIdentity.h"
#include "OutputPaths.h"
#include "PdfDocument.h"
#include "SignatureService.h"
#include "SignatureStampEditorDialog.h"
#include "SignatureStampRender.h"
#include "SignatureStampTemplate.h"
#include "SigningRun.h"
#include "SigningScratch.h"
#include "StampedPdfCopy.h"
#include "UiTranslate.h"

#include <QAbstractItemView>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>

namespace {

constexpr int kSubtitleRefreshMs = 250;
constexpr int kSubtitleMinWidth = 120;
const QSize kTemplateIcon(118, 48);
const QSize kTemplatePreview(150, 60);
constexpr int kPermille = 1000;

// The template box asks for the previews of the rows its list shows, so a
// preview is drawn only when someone may see it.
class TemplateBox : public QComboBox {
public:
    std::function<void(const QList<int>& rows)> needIcons;

    void showPopup() override
    {
        QComboBox::showPopup();
        fillShownRows();
    }

    void fillShownRows()
    {
        QAbstractItemView* list = view();
        if (!needIcons || !list->isVisible())
            return;
        const QRect shown = list->viewport()->rect();
        QList<int> rows;
        for (int row = 0; row < count(); ++row) {
            if (list->visualRect(model()->index(row, modelColumn())).intersects(shown))
                rows << row;
        }
        needIcons(rows);
    }
};

QGroupBox* groupBox(const QString& title)
{
    auto* group = new QGroupBox(title);
    group->setObjectName(QStringLiteral("ScanGroupBox"));
    return group;
}

QGridLayout* gridIn(QGroupBox* group)
{
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    return grid;
}

QLabel* hint(const QString& text, bool wrap = false)
{
    QLabel* l = label(text, QStringLiteral("DialogHint"));
    l->setWordWrap(wrap);
    return l;
}

QComboBox* combo()
{
    auto* box = new QComboBox;
    box->setObjectName(QStringLiteral("ScanCombo"));
    return box;
}

QDoubleSpinBox* millimetres(double minimum, double maximum, double value)
{
    auto* box = new QDoubleSpinBox;
    box->setObjectName(QStringLiteral("ScanSpin"));
    box->setRange(minimum, maximum);
    box->setDecimals(1);
    box->setValue(value);
    box->setSuffix(QObject::tr(" мм"));
    return box;
}

} // namespace

QString SignatureDialog::storedKeyFile(const char* key)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("signing/linux"));
    return settings.value(QLatin1String(key)).toString();
}

SignatureDialog::SignatureDialog(const Setup& setup, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowCloseButtonHint)
    , m_setup(setup)
{
    m_revocationMode = QSettings().value(QStringLiteral("signing/revocationMode"), QStringLiteral("sign")).toString();
    setObjectName(QStringLiteral("AppDialog"));
    setWindowTitle(tr("Подписание документа"));
    setModal(true);
    resize(780, 620);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 14, 20, 14);
    layout->setSpacing(8);

    layout->addWidget(label(tr("Подписание документа"), QStringLiteral("DialogTitle")));
    m_subtitle = label(tr("Файл: %1").arg(QFileInfo(m_setup.sourcePath).fileName()), QStringLiteral("DialogSubtitle"));
    m_subtitle->setToolTip(QFileInfo(m_setup.sourcePath).fileName());
    m_subtitle->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    layout->addWidget(m_subtitle);
    layout->addWidget(hint(tr("Закрытый ключ остаётся на компьютере или токене. Программа получает только готовую "
                              "подпись и метаданные для журнала."),
                           true));
    QStringList batchParts;
    if (!m_setup.remainingFiles.isEmpty())
        batchParts << tr("После первого файла можно будет подписать ещё %1 файл(ов) теми же настройками.")
                          .arg(m_setup.remainingFiles.size());
    if (!m_setup.skippedFiles.isEmpty())
        batchParts << tr("Непохожие на PDF файлы будут пропущены: %1.").arg(m_setup.skippedFiles.size());
    if (!batchParts.isEmpty())
        layout->addWidget(hint(batchParts.join(QLatin1Char(' ')), true));

    // The groups scroll: with the stamp's group shown they are taller than
    // many screens, and the buttons below must stay in reach.
    auto* groups = new QWidget;
    auto* column = new QVBoxLayout(groups);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    column->addWidget(buildFileGroup());
    column->addWidget(buildCertificateGroup(), 1);
    column->addWidget(buildModeGroup());
    column->addWidget(buildTsaGroup());
    column->addWidget(buildStampGroup());
    column->addWidget(buildKeyGroup());
    groups->setObjectName(QStringLiteral("SignatureDialogGroups"));
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("SignatureDialogScroll"));
    scroll->setStyleSheet(QStringLiteral("QScrollArea#SignatureDialogScroll, QScrollArea#SignatureDialogScroll > QWidget, "
                                         "QWidget#SignatureDialogGroups {background: transparent;}"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(groups);
    layout->addWidget(scroll, 1);

    auto* bottom = new QHBoxLayout;
    if (m_setup.shellMode) {
        m_openResult = new QCheckBox(tr("Открыть результат после подписания"));
        m_openResult->setObjectName(QStringLiteral("ScanCheckBox"));
        bottom->addWidget(m_openResult);
    }
    m_diagnostics = dialogButton(tr("Диагностика"), QStringLiteral("SecondaryDialogButton"));
    connect(m_diagnostics, &QPushButton::clicked, this, &SignatureDialog::showSigningDiagnostics);
    bottom->addWidget(m_diagnostics);
    bottom->addStretch(1);
    m_cancel = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    bottom->addWidget(m_cancel);
    auto* run = dialogButton(tr("Подписать"), QStringLiteral("PrimaryDialogButton"));
    run->setDefault(true);
    m_runButton = run;
    connect(run, &QPushButton::clicked, this, &SignatureDialog::runRequested);
    bottom->addWidget(run);
    layout->addLayout(bottom);

    buildBusyOverlay();

    QTimer::singleShot(0, this, &SignatureDialog::refreshSubtitle);
    auto* subtitleTimer = new QTimer(this);
    subtitleTimer->setInterval(kSubtitleRefreshMs);
    connect(subtitleTimer, &QTimer::timeout, this, &SignatureDialog::refreshSubtitle);
    subtitleTimer->start();

    connect(m_mode, &QComboBox::currentIndexChanged, this, [this] {
        setDefaultOutput();
        applySignatureModeToDialog();
    });

    wheelOnlyWhenFocused(this);
    startCertificateSearch();
    setDefaultOutput();
    applySignatureModeToDialog();
}

// The children end before any widget goes: a search or run killed here
// reports to nobody.
SignatureDialog::~SignatureDialog()
{
    qDeleteAll(findChildren<SigningRun*>(Qt::FindDirectChildrenOnly));
    if (QProcess* process = m_search) {
        killSigningChild(process);
        delete process;
    }
}

QWidget* SignatureDialog::buildFileGroup()
{
    m_fileGroup = groupBox(tr("Файл"));
    QGridLayout* grid = gridIn(m_fileGroup);
    m_output = dialogLineEdit(QString());
    QPushButton* choose = dialogButton(tr("Куда сохранить..."), QStringLiteral("SecondaryDialogButton"));
    connect(choose, &QPushButton::clicked, this, &SignatureDialog::chooseOutput);
    grid->addWidget(hint(tr("Результат:")), 0, 0);
    grid->addWidget(m_output, 0, 1);
    grid->addWidget(choose, 0, 2);
    return m_fileGroup;
}

QWidget* SignatureDialog::buildCertificateGroup()
{
    const bool search = m_revocationMode == QLatin1String("search");
    m_certificateGroup = groupBox(tr("Сертификат"));
    auto* column = new QVBoxLayout(m_certificateGroup);
    column->addWidget(hint(search ? tr("Доступные сертификаты показаны сверху. Отзыв проверяется при построении "
                                       "списка в изолированном процессе, поэтому сбой криптопровайдера не должен "
                                       "закрывать программу.")
                                  : tr("Доступные сертификаты показаны сверху. Недоступные можно показать ниже: там "
                                       "указана причина, почему ими нельзя подписать документ."),
                           true));
    auto* filterRow = new QHBoxLayout;
    m_filter = dialogLineEdit(QString());
    m_filter->setPlaceholderText(tr("Поиск по владельцу, издателю, провайдеру, контейнеру..."));
    filterRow->addWidget(m_filter, 1);
    m_showUnavailable = new QCheckBox(tr("Показывать недоступные"));
    m_showUnavailable->setObjectName(QStringLiteral("ScanCheckBox"));
    m_showUnavailable->setChecked(true);
    filterRow->addWidget(m_showUnavailable);
    column->addLayout(filterRow);

    m_certificateStack = new QStackedWidget;
    m_certificateStack->setObjectName(QStringLiteral("SignatureCertificateStack"));
    m_certificateList = new QListWidget;
    m_certificateList->setObjectName(QStringLiteral("OpenRecentList"));
    // Filled after the dialog's translation pass: its texts are translated as they are made.
    m_certificateList->setProperty("_vorn_i18n_skip_items", true);
    m_certificateList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_certificateList->setMinimumHeight(160);
    m_certificateList->setWordWrap(true);
    m_certificateStack->addWidget(m_certificateList);

    m_loadingPage = new QWidget;
    m_loadingPage->setObjectName(QStringLiteral("SignatureCertificateLoading"));
    auto* loading = new QVBoxLayout(m_loadingPage);
    loading->setContentsMargins(0, 18, 0, 18);
    loading->addStretch(1);
    m_loadingRing = new BusyRing;
    m_loadingRing->setFixedSize(54, 54);
    m_loadingRing->hide();
    loading->addWidget(m_loadingRing, 0, Qt::AlignHCenter);
    QLabel* loadingText = hint(search ? tr("Анализирую сертификаты, токены и отзывы. При большом количестве ЭЦП это "
                                           "может занять несколько минут...")
                                      : tr("Проверяю сертификаты и токены..."));
    loadingText->setAlignment(Qt::AlignCenter);
    loading->addWidget(loadingText);
    loading->addStretch(1);
    m_certificateStack->addWidget(m_loadingPage);
    m_certificateStack->setCurrentWidget(m_certificateList);
    column->addWidget(m_certificateStack, 1);

    m_refresh = dialogButton(tr("Обновить сертификаты"), QStringLiteral("SecondaryDialogButton"));
    column->addWidget(m_refresh, 0, Qt::AlignLeft);
    connect(m_refresh, &QPushButton::clicked, this, &SignatureDialog::startCertificateSearch);
    connect(m_filter, &QLineEdit::textChanged, this, &SignatureDialog::rebuildCertificateList);
    connect(m_certificateList, &QListWidget::currentItemChanged, this, &SignatureDialog::useListedCertificate);
    connect(m_showUnavailable, &QCheckBox::toggled, this, &SignatureDialog::rebuildCertificateList);
    return m_certificateGroup;
}

QWidget* SignatureDialog::buildModeGroup()
{
    m_modeGroup = groupBox(tr("Режим подписи"));
    QGridLayout* grid = gridIn(m_modeGroup);
    m_mode = combo();
    for (int mode = DetachedCms; mode <= EmbeddedPdf; ++mode)
        m_mode->addItem(SignatureService::modeDisplayName(SignatureMode(mode)), mode);
    grid->addWidget(hint(tr("Тип:")), 0, 0);
    grid->addWidget(m_mode, 0, 1);
    grid->addWidget(hint(tr("Доступны CMS/CAdES-BES, CAdES-T, PDF со видимым штампом + отделённая подпись и "
                            "встроенная PDF-подпись."),
                         true),
                    1, 0, 1, 2);
    return m_modeGroup;
}

QWidget* SignatureDialog::buildTsaGroup()
{
    m_tsaGroup = groupBox(tr("Штамп времени TSA"));
    QGridLayout* grid = gridIn(m_tsaGroup);
    m_tsa = dialogLineEdit(QSettings().value(QStringLiteral("signing/tsaUrl")).toString());
    grid->addWidget(hint(tr("TSA URL:")), 0, 0);
    grid->addWidget(m_tsa, 0, 1);
    grid->addWidget(hint(tr("Для CAdES-T нужен RFC 3161 TSA-сервер. Адрес будет сохранён в настройках подписи."), true),
                    1, 0, 1, 2);
    return m_tsaGroup;
}

QWidget* SignatureDialog::buildStampGroup()
{
    m_stampGroup = groupBox(tr("Видимый штамп PDF"));
    QGridLayout* grid = gridIn(m_stampGroup);
    const int pages = stampPageCount();
    m_stampPage = new QSpinBox;
    m_stampPage->setObjectName(QStringLiteral("ScanSpin"));
    m_stampPage->setRange(1, pages);
    m_stampPage->setValue(pages);
    grid->addWidget(hint(tr("Страница:")), 0, 0);
    grid->addWidget(m_stampPage, 0, 1);

    m_stampPosition = combo();
    m_stampPosition->addItem(tr("Справа внизу"), QStringLiteral("bottom-right"));
    m_stampPosition->addItem(tr("Слева внизу"), QStringLiteral("bottom-left"));
    m_stampPosition->addItem(tr("Справа вверху"), QStringLiteral("top-right"));
    m_stampPosition->addItem(tr("Слева вверху"), QStringLiteral("top-left"));
    m_stampPosition->addItem(tr("По центру"), QStringLiteral("center"));
    grid->addWidget(hint(tr("Положение:")), 1, 0);
    grid->addWidget(m_stampPosition, 1, 1);

    auto* sizeRow = new QHBoxLayout;
    m_stampWidth = millimetres(35.0, 180.0, 82.0);
    m_stampHeight = millimetres(18.0, 90.0, 34.0);
    sizeRow->addWidget(m_stampWidth);
    sizeRow->addWidget(m_stampHeight);
    sizeRow->addStretch(1);
    grid->addWidget(hint(tr("Размер:")), 2, 0);
    grid->addLayout(sizeRow, 2, 1);

    auto* templateRow = new QHBoxLayout;
    QPixmap blank(kTemplatePreview);
    blank.fill(Qt::transparent);
    m_blankTemplateIcon = QIcon(blank);
    auto* templates = new TemplateBox;
    templates->setObjectName(QStringLiteral("ScanCombo"));
    templates->needIcons = [this](const QList<int>& rows) { queueTemplateIcons(rows); };
    connect(templates->view()->verticalScrollBar(), &QScrollBar::valueChanged, templates,
            [templates] { templates->fillShownRows(); });
    m_stampTemplate = templates;
    connect(m_stampTemplate, &QComboBox::currentIndexChanged, this, &SignatureDialog::ensureTemplateIcon);
    m_stampTemplate->setIconSize(kTemplateIcon);
    m_stampTemplate->setMinimumWidth(320);
    templateRow->addWidget(m_stampTemplate, 1);
    QPushButton* edit = dialogButton(tr("Настроить шаблон..."), QStringLiteral("SecondaryDialogButton"));
    connect(edit, &QPushButton::clicked, this, [this] {
        const QString id = editSignatureStampTemplate(this, m_stampTemplate->currentData().toString());
        if (!id.isEmpty())
            reloadStampTemplateCombo(id);
    });
    templateRow->addWidget(edit);
    grid->addWidget(hint(tr("Шаблон:")), 3, 0);
    grid->addLayout(templateRow, 3, 1);
    grid->addWidget(hint(tr("Будет создан PDF со штампом, а отделённая подпись (*.sig) будет рассчитана уже от этого "
                            "PDF."),
                         true),
                    4, 0, 1, 2);
    reloadStampTemplateCombo(QString());
    return m_stampGroup;
}

QWidget* SignatureDialog::buildKeyGroup()
{
    auto* group = groupBox(tr("Linux / OpenSSL"));
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    auto browse = [this](QLineEdit* field, const QString& caption, const QString& filter) {
        QPushButton* button = dialogButton(tr("Обзор..."), QStringLiteral("SecondaryDialogButton"));
        connect(button, &QPushButton::clicked, this,
                [this, field, caption, filter] { browseInto(field, caption, filter); });
        return button;
    };
    auto password = [] {
        QLineEdit* field = dialogLineEdit(QString());
        field->setEchoMode(QLineEdit::Password);
        return field;
    };
    m_certificatePath = dialogLineEdit(storedKeyFile("certificatePath"));
    m_privateKeyPath = dialogLineEdit(storedKeyFile("privateKeyPath"));
    m_keyPassword = password();
    m_pkcs12Path = dialogLineEdit(storedKeyFile("pkcs12Path"));
    m_pkcs12Password = password();
    struct Row {
        QString label;
        QLineEdit* field;
        QPushButton* browse;
    };
    const QList<Row> rows{
        {tr("PEM/CRT сертификат:"), m_certificatePath,
         browse(m_certificatePath, tr("Выберите сертификат"), tr("Сертификаты (*.pem *.crt *.cer);;Все файлы (*)"))},
        {tr("PEM закрытый ключ:"), m_privateKeyPath,
         browse(m_privateKeyPath, tr("Выберите закрытый ключ"), tr("Ключи (*.pem *.key);;Все файлы (*)"))},
        {tr("Пароль ключа:"), m_keyPassword, nullptr},
        {tr("P12/PFX контейнер:"), m_pkcs12Path,
         browse(m_pkcs12Path, tr("Выберите P12/PFX контейнер"), tr("PKCS#12 (*.p12 *.pfx);;Все файлы (*)"))},
        {tr("Пароль P12/PFX:"), m_pkcs12Password, nullptr},
    };
    for (int i = 0; i < rows.size(); ++i) {
        grid->addWidget(hint(rows.at(i).label), i, 0);
        grid->addWidget(rows.at(i).field, i, 1);
        if (rows.at(i).browse)
            grid->addWidget(rows.at(i).browse, i, 2);
    }
    grid->addWidget(hint(tr("Если указан P12/PFX, он используется вместо пары PEM certificate/key."), true), 5, 0, 1, 3);
    for (QLineEdit* field : {m_certificatePath, m_pkcs12Path})
        connect(field, &QLineEdit::textChanged, this, &SignatureDialog::selectCertificateOfKeyFields);
    return group;
}

QWidget* SignatureDialog::buildBusyOverlay()
{
    m_overlay = new QFrame(this);
    m_overlay->setObjectName(QStringLiteral("SignatureBusyOverlay"));
    m_overlay->setStyleSheet(
        QStringLiteral("QFrame#SignatureBusyOverlay {background: rgba(248, 250, 252, 218);border-radius: 14px;}"));
    auto* column = new QVBoxLayout(m_overlay);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(12);
    column->addStretch(1);
    m_overlayRing = new BusyRing;
    m_overlayRing->hide();
    column->addWidget(m_overlayRing, 0, Qt::AlignHCenter);
    m_overlayText = label(tr("Подписываю документ..."), QStringLiteral("DialogTitle"));
    m_overlayText->setAlignment(Qt::AlignCenter);
    m_overlayText->setWordWrap(true);
    column->addWidget(m_overlayText);
    m_overlayProgress = new QProgressBar;
    m_overlayProgress->setObjectName(QStringLiteral("ScanProgressBar"));
    m_overlayProgress->setRange(0, kPermille);
    m_overlayProgress->setTextVisible(false);
    m_overlayProgress->setFixedWidth(320);
    m_overlayProgress->hide();
    column->addWidget(m_overlayProgress, 0, Qt::AlignHCenter);
    // The overlay covers the dialog's own buttons: a run is stopped here.
    QPushButton* stop = dialogButton(tr("Отмена"), QStringLiteral("SecondaryDialogButton"));
    connect(stop, &QPushButton::clicked, this, &QDialog::reject);
    column->addWidget(stop, 0, Qt::AlignHCenter);
    column->addStretch(1);
    m_overlay->hide();
    return m_overlay;
}

void SignatureDialog::refreshSubtitle()
{
    const QString name = QFileInfo(m_setup.sourcePath).fileName();
    const int width = qMax(kSubtitleMinWidth, m_subtitle->width());
    const QString elided = QFontMetrics(m_subtitle->font()).elidedText(name, Qt::ElideMiddle, width);
    // Refreshed as the dialog resizes, long after its translation pass.
    const QString text = uiTranslate(tr("Файл: %1")).arg(elided);
    if (m_subtitle->text() != text)
        m_subtitle->setText(text);
}

QString SignatureDialog::defaultOutputForMode() const
{
    const SignatureMode mode = SignatureMode(currentSignatureMode());
    const QString wanted = SignatureService::defaultOutputPath(m_setup.sourcePath, mode);
    // A stamped signature signs the stamped copy and is named after it.
    if (mode == StampedPdfDetached)
        return stampedSigningOutputs(m_setup.sourcePath, wanted).signature;
    return uniqueSiblingPathLikeChrome(wanted);
}

void SignatureDialog::setDefaultOutput()
{
    if (!m_setup.sourcePath.isEmpty())
        m_output->setText(defaultOutputForMode());
}

int SignatureDialog::currentSignatureMode() const
{
    bool ok = false;
    const int mode = m_mode->currentData().toInt(&ok);
    return ok ? mode : 0;
}

void SignatureDialog::applySignatureModeToDialog()
{
    bool valid = false;
    const int mode = m_mode->currentData().toInt(&valid);
    const bool tsa = valid && mode == CadesT;
    const bool stamp = valid && mode == StampedPdfDetached;
    m_tsaGroup->setVisible(tsa);
    m_tsaGroup->setEnabled(tsa && !m_busy);
    m_stampGroup->setVisible(stamp);
    m_stampGroup->setEnabled(stamp && !m_busy);
    if (stamp) {
        const int pages = stampPageCount();
        const int value = qMax(qMin(pages, m_stampPage->value()), 1);
        m_stampPage->setRange(1, pages);
        m_stampPage->setValue(value);
    }
}

int SignatureDialog::stampPageCount() const
{
    const QFileInfo source(m_setup.sourcePath);
    if (!source.exists())
        return 1;
    if (FileIdentity::same(m_setup.openDocumentPath, source.absoluteFilePath()))
        return qMax(1, m_setup.openDocumentPageCount);
    if (source.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return 1;
    // Opening a large file takes a while: it is counted once per dialog, not
    // again after every run or change of mode.
    if (m_sourcePageCount < 1) {
        PdfDocument document;
        m_sourcePageCount = document.open(source.absoluteFilePath()) ? qMax(1, document.pageCount()) : 1;
    }
    return m_sourcePageCount;
}

void SignatureDialog::reloadStampTemplateCombo(const QString& wantedId)
{
    QString select = wantedId.trimmed();
    if (select.isEmpty())
        select = m_stampTemplate->currentData().toString();
    const bool blocked = m_stampTemplate->blockSignals(true);
    m_stampTemplate->clear();
    m_pendingIcons.clear();
    int selected = 0;
    m_stampTemplates = listSignatureStampTemplates();
    for (const SignatureStampTemplateEntry& entry : std::as_const(m_stampTemplates)) {
        // A blank of the preview's size keeps every row as tall as a drawn one.
        m_stampTemplate->addItem(m_blankTemplateIcon, entry.name, entry.id);
        if (entry.id == select)
            selected = m_stampTemplate->count() - 1;
    }
    m_stampTemplate->setCurrentIndex(qMax(qMin(m_stampTemplate->count() - 1, selected), 0));
    m_stampTemplate->blockSignals(blocked);
    // The chosen template's preview, once the dialog is up.
    QTimer::singleShot(0, this, [this] { ensureTemplateIcon(m_stampTemplate->currentIndex()); });
}

// The rows an open list shows are drawn one per turn of the event loop, so
// the list answers while its previews fill in.
void SignatureDialog::queueTemplateIcons(const QList<int>& rows)
{
    const bool idle = m_pendingIcons.isEmpty();
    for (int row : rows) {
        if (!m_pendingIcons.contains(row))
            m_pendingIcons << row;
    }
    if (idle && !m_pendingIcons.isEmpty())
        QTimer::singleShot(0, this, &SignatureDialog::drawNextTemplateIcon);
}

void SignatureDialog::drawNextTemplateIcon()
{
    if (m_pendingIcons.isEmpty())
        return;
    ensureTemplateIcon(m_pendingIcons.takeFirst());
    if (!m_pendingIcons.isEmpty())
        QTimer::singleShot(0, this, &SignatureDialog::drawNextTemplateIcon);
}

// One template read whole and drawn small; the picture goes with it.
void SignatureDialog::ensureTemplateIcon(int row)
{
    if (row < 0 || row >= m_stampTemplate->count() || row >= m_stampTemplates.size()
        || m_stampTemplate->itemIcon(row).cacheKey() != m_blankTemplateIcon.cacheKey())
        return;
    const SignatureStampTemplate stamp = loadSignatureStampTemplate(m_stampTemplates.at(row));
    m_stampTemplate->setItemIcon(row, QIcon(stampTemplatePreviewPixmap(stamp, kTemplatePreview, -1)));
}

void SignatureDialog::chooseOutput()
{
    QString start = m_output->text().trimmed();
    if (start.isEmpty())
        start = defaultOutputForMode();
    const QString chosen =
        QFileDialog::getSaveFileName(this, uiTranslate(tr("Сохранить подпись")), start,
                                     uiTranslate(tr("Файлы подписи (*.sig *.p7m *.p7b);;PDF (*.pdf);;Все файлы (*)")));
    if (!chosen.isEmpty())
        m_output->setText(chosen);
}

void SignatureDialog::browseInto(QLineEdit* field, const QString& caption, const QString& filter)
{
    const QString chosen = QFileDialog::getOpenFileName(this, uiTranslate(caption), field->text(), uiTranslate(filter));
    if (!chosen.isEmpty())
        field->setText(chosen);
}

void SignatureDialog::showSigningDiagnostics()
{
    // Only what this machine offers: the program runs on Linux alone.
    QStringList lines;
    lines << tr("Найдено сертификатов для подписи: %1").arg(m_certificates.size());
    lines << SignatureService::linuxProviderDiagnostics();
    lines << tr("PKCS#11 для прямого доступа к токенам: следующий этап.");
    lines << tr("CAdES-T со штампом времени: недоступно, подписи создаются как CAdES-BES через OpenSSL.");
    lines << tr("PDF со встроенной подписью: для PDF без существующей AcroForm и без потока перекрёстных ссылок.");
    appInfo(this, tr("Диагностика подписи"), lines.join(QLatin1Char('\n')));
}

SignatureDialogInputs SignatureDialog::inputs() const
{
    SignatureDialogInputs in;
    in.outputPath = m_output->text().trimmed();
    in.mode = SignatureMode(qBound(int(DetachedCms), currentSignatureMode(), int(EmbeddedPdf)));
    in.tsaUrl = m_tsa->text().trimmed();
    in.certificatePath = m_certificatePath->text().trimmed();
    in.privateKeyPath = m_privateKeyPath->text().trimmed();
    in.keyPassword = m_keyPassword->text();
    in.pkcs12Path = m_pkcs12Path->text().trimmed();
    in.pkcs12Password = m_pkcs12Password->text();
    in.stampPage = m_stampPage->value();
    in.stampPosition = m_stampPosition->currentData().toString();
    in.stampWidthMm = m_stampWidth->value();
    in.stampHeightMm = m_stampHeight->value();
    in.stampTemplateId = m_stampTemplate->currentData().toString();
    in.openResult = m_openResult && m_openResult->isChecked();
    return in;
}

void SignatureDialog::setOutputPath(const QString& path)
{
    m_output->setText(path);
}

void SignatureDialog::setSigningBusy(bool busy, const QString& text)
{
    m_busy = busy;
    // "Отмена" stays: it stops the run.
    for (QWidget* widget : std::initializer_list<QWidget*>{m_fileGroup, m_certificateGroup, m_modeGroup, m_diagnostics,
                                                           m_refresh, m_filter, m_showUnavailable})
        widget->setEnabled(!busy);
    if (m_runButton)
        m_runButton->setEnabled(!busy);
    if (busy) {
        m_tsaGroup->setEnabled(false);
        m_stampGroup->setEnabled(false);
        m_overlayText->setText(uiTranslateSmart(text.isEmpty() ? tr("Подписываю документ...") : text));
        m_overlay->setGeometry(rect().adjusted(10, 10, -10, -10));
        m_overlay->raise();
        m_overlay->show();
        m_overlayRing->timer.start(BusyRing::kTickIntervalMs);
        m_overlayRing->show();
        return;
    }
    m_overlayRing->timer.stop();
    m_overlayRing->hide();
    m_overlayProgress->hide();
    m_overlay->hide();
    applySignatureModeToDialog();
}

void SignatureDialog::setSigningProgress(int permille)
{
    m_overlayProgress->setVisible(permille >= 0);
    if (permille >= 0)
        m_overlayProgress->setValue(qBound(0, permille, kPermille));
}
