#include "Preloader.h"

#include "ButtonKit.h"
#include "DialogKit.h"
#include "UiTranslate.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QProgressBar>
#include <QThread>

namespace {

constexpr int kSplashWidth = 430;
constexpr int kSplashHeight = 178;
constexpr int kOuterMargin = 12;
constexpr int kRowSpacing = 12;
constexpr int kTitleColumnSpacing = 1;
constexpr int kIconSide = 38;
constexpr int kProgressHeight = 6;
const QMargins kCardMargins(22, 18, 22, 18);

const char* const kSplashStyle =
    "QFrame#PreloaderCard{background:#F8FAFC;border:1px solid #D7DEE8;border-radius:10px;}"
    "QLabel#PreloaderTitle{font-family:'Segoe UI';font-size:17px;font-weight:700;color:#101418;}"
    "QLabel#PreloaderSubtitle{font-family:'Segoe UI';font-size:12px;color:#64748B;}"
    "QLabel#PreloaderStage{font-family:'Segoe UI';font-size:12px;color:#334155;}"
    "QProgressBar#PreloaderProgress{background:#E2E8F0;border:none;border-radius:3px;}"
    "QProgressBar#PreloaderProgress::chunk{background:#0EA5E9;border-radius:3px;}";

QLayout* titleRow(const QString& displayName)
{
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(I(QStringLiteral("vorn-app"))).pixmap(kIconSide, kIconSide));

    auto* column = new QVBoxLayout;
    column->setSpacing(kTitleColumnSpacing);
    column->addWidget(label(uiTranslate(displayName), QStringLiteral("PreloaderTitle")));
    column->addWidget(label(uiTranslate(QStringLiteral("Подготовка рабочего пространства")),
                            QStringLiteral("PreloaderSubtitle")));

    auto* row = new QHBoxLayout;
    row->setSpacing(kRowSpacing);
    row->addWidget(icon);
    row->addLayout(column, 1);
    return row;
}

} // namespace

void runPreloader(const QString& displayName, int stepMs, const std::function<void(const QDialog&)>& afterStage)
{
    QDialog splash;
    splash.setObjectName(QStringLiteral("Preloader"));
    splash.setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    splash.setAttribute(Qt::WA_TranslucentBackground);
    splash.setFixedSize(kSplashWidth, kSplashHeight);
    splash.setStyleSheet(QLatin1String(kSplashStyle));

    auto* outer = new QVBoxLayout(&splash);
    outer->setContentsMargins(kOuterMargin, kOuterMargin, kOuterMargin, kOuterMargin);
    auto* card = new QFrame;
    card->setObjectName(QStringLiteral("PreloaderCard"));
    outer->addWidget(card);

    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(kCardMargins);
    cardLayout->setSpacing(kRowSpacing);
    cardLayout->addLayout(titleRow(displayName));

    QList<QString> stageTexts;
    for (const PreloaderStage& stage : kPreloaderStages)
        stageTexts << uiTranslate(QString::fromUtf8(stage.text));

    QLabel* stageLabel = label(stageTexts.first(), QStringLiteral("PreloaderStage"));
    cardLayout->addWidget(stageLabel);
    auto* progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("PreloaderProgress"));
    progress->setRange(0, 100);
    progress->setTextVisible(false);
    progress->setFixedHeight(kProgressHeight);
    cardLayout->addWidget(progress);

    splash.show();
    for (size_t i = 0; i < kPreloaderStages.size(); ++i) {
        progress->setValue(kPreloaderStages[i].percent);
        stageLabel->setText(stageTexts.at(qsizetype(i)));
        QCoreApplication::processEvents();
        if (afterStage)
            afterStage(splash);
        if (stepMs > 0)
            QThread::msleep(ulong(stepMs));
    }
    splash.close();
}
