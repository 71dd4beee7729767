// The certificate list of the signature dialog: a child of the program
// (--vorn-cert-list) lists them, so a crypto provider that hangs or crashes
// ends only the child.
#include "SignatureDialog.h"

#include "BusyRing.h"
#include "SignatureJson.h"
#include "SigningNames.h"
#include "SigningScratch.h"
#include "UiTranslate.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {

struct TimeoutRule {
    const char* key;
    int fallback;
    int minimum;
    int maximum;
};

constexpr TimeoutRule kPlainSearch{"signing/searchTimeoutSec", 120, 30, 900};
constexpr TimeoutRule kRevocationSearch{"signing/searchWithRevocationTimeoutSec", 900, 60, 3600};

struct Family {
    QStringList keywords;
    const char* name;
};

int& searchSecondMs()
{
    static int ms = 1000;
    return ms;
}

QListWidgetItem* plainItem(const QString& text)
{
    auto* item = new QListWidgetItem(text);
    item->setFlags(Qt::NoItemFlags);
    return item;
}

// The reason a child that failed gives in its own answer, if it gave one.
QString answeredReason(const QByteArray& out)
{
    const QJsonDocument document = QJsonDocument::fromJson(out.trimmed());
    return document.isObject() ? document.object().value(QStringLiteral("error")).toString().trimmed() : QString();
}

bool samePath(const QString& a, const QString& b)
{
    return !a.trimmed().isEmpty() && !b.trimmed().isEmpty()
        && QFileInfo(a.trimmed()).absoluteFilePath() == QFileInfo(b.trimmed()).absoluteFilePath();
}

bool isPkcs12Name(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("p12") || suffix == QLatin1String("pfx");
}

} // namespace

void SignatureDialog::setSearchSecondMs(int ms)
{
    searchSecondMs() = qMax(1, ms);
}

int SignatureDialog::certificateSearchTimeoutSeconds(bool revocationSearch)
{
    const TimeoutRule& rule = revocationSearch ? kRevocationSearch : kPlainSearch;
    bool ok = false;
    const int stored = QSettings().value(QLatin1String(rule.key), rule.fallback).toInt(&ok);
    return qBound(rule.minimum, ok ? stored : rule.fallback, rule.maximum);
}

QString SignatureDialog::certificateSearchTimeoutText(int seconds)
{
    const int s = qMax(1, seconds);
    QString words = s >= 60 ? tr("%1 мин.").arg(qMax(1, s / 60)) : tr("%1 сек.").arg(s);
    // The sentence's own full stop follows the abbreviation's.
    if (words.endsWith(QLatin1Char('.')))
        words.chop(1);
    return tr("Поиск сертификатов не ответил за %1. Если сертификатов много или УЦ отвечает медленно, увеличьте "
              "таймаут в настройках подписи.")
        .arg(words);
}

QString SignatureDialog::certificateFamily(const SigningCertificate& certificate)
{
    static const QList<Family> families{
        {{QStringLiteral("vipnet")}, "ViPNet CSP"},
        {{QStringLiteral("signal")}, "Signal-COM CSP"},
        {{QStringLiteral("lissi")}, "LISSI-CSP"},
        {{QStringLiteral("rutoken"), QStringLiteral("рутокен")}, "Rutoken / ЭЦП-флешка"},
        {{QStringLiteral("jacarta"), QStringLiteral("aladdin")}, "JaCarta / Aladdin"},
        {{QStringLiteral("etoken"), QStringLiteral("safenet"), QStringLiteral("thales")}, "eToken / SafeNet"},
        {{QStringLiteral("crypto-pro"), QStringLiteral("cryptopro"), QStringLiteral("crypto pro"),
          QStringLiteral("крипто")},
         "CryptoPro CSP"},
        {{QStringLiteral("openssl")}, "Файловый сертификат / OpenSSL"},
    };
    const QString text = QStringLiteral("%1 %2 %3")
                             .arg(certificate.providerName, certificate.containerName, certificate.storeName)
                             .toLower();
    for (const Family& family : families) {
        for (const QString& keyword : family.keywords) {
            if (text.contains(keyword))
                return tr(family.name);
        }
    }
    if (certificate.storeName == QStringLiteral("Файл"))
        return tr("Файловый сертификат / OpenSSL");
    if (!certificate.providerName.trimmed().isEmpty())
        return certificate.providerName.trimmed();
    if (!certificate.storeName.trimmed().isEmpty())
        return certificate.storeName.trimmed();
    return tr("Другие провайдеры");
}

void SignatureDialog::startCertificateSearch()
{
    if (m_search && m_search->state() != QProcess::NotRunning)
        return;
    m_certificateStack->setCurrentWidget(m_loadingPage);
    m_filter->setEnabled(false);
    m_showUnavailable->setEnabled(false);
    m_refresh->setEnabled(false);
    if (m_runButton)
        m_runButton->setEnabled(false);
    m_loadingRing->timer.start(BusyRing::kTickIntervalMs);
    m_loadingRing->show();

    auto* process = new QProcess(this);
    m_search = process;
    m_searchScratch = std::make_unique<SigningScratch>();
    m_setup.children.configure(process, {QStringLiteral("--vorn-cert-list")}, "VORN_CERT_ENUM_WORKER",
                               m_searchScratch->path());
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        const bool ok = status == QProcess::NormalExit && exitCode == 0;
        const QByteArray out = process->readAllStandardOutput();
        QByteArray err = process->readAllStandardError();
        QString fallback = status == QProcess::CrashExit ? tr("Криптопровайдер аварийно завершил поиск сертификатов.")
                                                         : tr("Поиск сертификатов завершился с ошибкой.");
        // A child that ends with its failure code says why in its answer
        // ("Для Linux выберите ..."): that reason comes first.
        const QString reason = status == QProcess::NormalExit && exitCode != 0 ? answeredReason(out) : QString();
        if (!reason.isEmpty()) {
            fallback = reason;
            err.clear();
        }
        finishCertificateSearch(process, ok, out, err, fallback);
    });
    // Qt reports a crash as an error before the finished signal.
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        finishCertificateSearch(process, false, process->readAllStandardOutput(), process->readAllStandardError(),
                                error == QProcess::Crashed
                                    ? tr("Криптопровайдер аварийно завершил поиск сертификатов.")
                                    : tr("Не удалось запустить изолированный поиск сертификатов."));
    });
    const int seconds = certificateSearchTimeoutSeconds(m_revocationMode == QLatin1String("search"));
    QTimer::singleShot(seconds * searchSecondMs(), process, [this, process, seconds] {
        if (process->property("_vorn_done").toBool() || process->state() == QProcess::NotRunning)
            return;
        process->kill();
        finishCertificateSearch(process, false, process->readAllStandardOutput(), process->readAllStandardError(),
                                certificateSearchTimeoutText(seconds));
    });
    process->start(QIODevice::ReadWrite);
}

void SignatureDialog::finishCertificateSearch(QProcess* process, bool processOk, const QByteArray& out,
                                              const QByteArray& err, const QString& fallbackText)
{
    if (!claimSigningChildEnd(process))
        return;
    if (m_search == process) {
        m_search = nullptr;
        m_searchScratch.reset();
    }
    QString error;
    QList<SigningCertificate> list;
    if (processOk) {
        const QJsonDocument document = QJsonDocument::fromJson(out.trimmed());
        if (!document.isObject()) {
            error = tr("Изолированный поиск сертификатов вернул некорректный ответ.");
        } else {
            error = document.object().value(QStringLiteral("error")).toString();
            list = signingCertificatesFromJson(document.object());
        }
    } else {
        error = QString::fromUtf8(err).trimmed();
        if (error.isEmpty())
            error = fallbackText;
    }
    m_certificates = list;
    m_certificateStack->setCurrentWidget(m_certificateList);
    if (!m_busy) {
        m_filter->setEnabled(true);
        m_showUnavailable->setEnabled(true);
        m_refresh->setEnabled(true);
        if (m_runButton)
            m_runButton->setEnabled(true);
    }
    m_loadingRing->timer.stop();
    m_loadingRing->hide();
    rebuildCertificateList();
    if (list.isEmpty()) {
        m_certificateList->clear();
        m_certificateList->addItem(plainItem(uiTranslate(error.isEmpty() ? tr("Подходящие сертификаты не найдены.") : error)));
    }
    process->deleteLater();
}

void SignatureDialog::rebuildCertificateList()
{
    const QListWidgetItem* current = m_certificateList->currentItem();
    const QString remembered = current ? current->data(Qt::UserRole).toString() : QString();
    // Rebuilding changes the current row without anyone choosing it.
    const bool following = std::exchange(m_followingFields, true);
    m_certificateList->clear();
    bool any = appendCertificateSection(true);
    if (m_showUnavailable->isChecked())
        any = appendCertificateSection(false) || any;
    if (!any) {
        m_certificateList->addItem(plainItem(uiTranslate(m_filter->text().trimmed().isEmpty()
                                                             ? tr("Сертификаты не найдены.")
                                                             : tr("Сертификаты не найдены по фильтру."))));
        m_followingFields = following;
        return;
    }
    // Key files listed: the key fields decide which one is chosen.
    if (listsKeyFiles()) {
        m_certificateList->setCurrentRow(rowOfKeyFields());
        m_followingFields = following;
        return;
    }
    int fallback = -1;
    int chosen = -1;
    for (int row = 0; row < m_certificateList->count() && chosen < 0; ++row) {
        const QString id = m_certificateList->item(row)->data(Qt::UserRole).toString();
        if (id.isEmpty())
            continue;
        if (fallback < 0)
            fallback = row;
        if (!remembered.isEmpty() && id == remembered)
            chosen = row;
    }
    m_certificateList->setCurrentRow(chosen >= 0 ? chosen : fallback);
    m_followingFields = following;
}

QString SignatureDialog::listedKeyFile(const QString& certificateId)
{
    static const QString kPrefix = QStringLiteral("linux-file|");
    return certificateId.startsWith(kPrefix) ? certificateId.mid(kPrefix.size()) : QString();
}

bool SignatureDialog::listsKeyFiles() const
{
    return std::any_of(m_certificates.cbegin(), m_certificates.cend(),
                       [](const SigningCertificate& c) { return !listedKeyFile(c.id).isEmpty(); });
}

// The row of the certificate the key fields sign with: the P12/PFX
// container when one is given, else the PEM certificate; -1 when it is not
// listed as available.
int SignatureDialog::rowOfKeyFields() const
{
    const QString container = m_pkcs12Path ? m_pkcs12Path->text().trimmed() : QString();
    const QString signing = container.isEmpty() && m_certificatePath ? m_certificatePath->text().trimmed() : container;
    for (int row = 0; row < m_certificateList->count(); ++row) {
        if (samePath(listedKeyFile(m_certificateList->item(row)->data(Qt::UserRole).toString()), signing))
            return row;
    }
    return -1;
}

void SignatureDialog::selectCertificateOfKeyFields()
{
    if (m_followingFields || !listsKeyFiles())
        return;
    m_followingFields = true;
    m_certificateList->setCurrentRow(rowOfKeyFields());
    m_followingFields = false;
}

// A container goes into its field; a PEM certificate replaces any container
// (which would take precedence) and brings the key it was listed with.
void SignatureDialog::useListedCertificate()
{
    const QListWidgetItem* item = m_certificateList->currentItem();
    const QString path = item ? listedKeyFile(item->data(Qt::UserRole).toString()) : QString();
    if (m_followingFields || path.isEmpty() || !m_pkcs12Path)
        return;
    m_followingFields = true;
    if (samePath(path, storedKeyFile("pkcs12Path")) || isPkcs12Name(path)) {
        m_pkcs12Path->setText(path);
    } else {
        m_pkcs12Path->clear();
        m_certificatePath->setText(path);
        if (samePath(path, storedKeyFile("certificatePath")))
            m_privateKeyPath->setText(storedKeyFile("privateKeyPath"));
    }
    m_followingFields = false;
}

bool SignatureDialog::appendCertificateSection(bool available)
{
    const QString filter = m_filter->text().trimmed().toLower();
    QMap<QString, QList<SigningCertificate>> families;  // ordered by the shown name
    for (const SigningCertificate& c : std::as_const(m_certificates)) {
        if (c.available != available)
            continue;
        if (!filter.isEmpty()) {
            const QString haystack = QStringList{shownDistinguishedName(c.subject), shownDistinguishedName(c.issuer),
                                                 c.serial, c.thumbprint, c.providerName, c.containerName,
                                                 c.storeName, c.publicKeyAlgorithm, c.unavailableReason}
                                         .join(QLatin1Char(' '))
                                         .toLower();
            if (!haystack.contains(filter))
                continue;
        }
        families[uiTranslate(certificateFamily(c))] << c;
    }
    const QString section = uiTranslate(available ? tr("Доступные") : tr("Недоступные"));
    for (auto it = families.cbegin(); it != families.cend(); ++it) {
        QListWidgetItem* header = plainItem(QStringLiteral("%1 — %2").arg(section, it.key()));
        QFont bold = header->font();
        bold.setWeight(QFont::Bold);
        header->setFont(bold);
        header->setForeground(QColor(0x53, 0x62, 0x7a));
        header->setBackground(QColor(0xf1, 0xf6, 0xfc));
        m_certificateList->addItem(header);
        for (const SigningCertificate& c : it.value()) {
            QStringList lines{shownDistinguishedName(c.subject),
                              uiTranslate(tr("Издатель: %1")).arg(shownDistinguishedName(c.issuer)),
                              uiTranslate(tr("Действует до: %1 · %2 · %3"))
                                  .arg(c.validTo.toString(QStringLiteral("dd.MM.yyyy")), c.publicKeyAlgorithm,
                                       c.providerName.isEmpty() ? c.storeName : c.providerName)};
            if (!available)
                lines << uiTranslate(tr("Недоступен: %1"))
                             .arg(c.unavailableReason.isEmpty() ? uiTranslate(tr("причина не определена"))
                                                                : c.unavailableReason);
            auto* item = new QListWidgetItem(lines.join(QLatin1Char('\n')));
            if (available) {
                item->setData(Qt::UserRole, c.id);
            } else {
                item->setFlags(Qt::NoItemFlags);
                item->setForeground(QColor(0x8b, 0x97, 0xa8));
                item->setBackground(QColor(0xf7, 0xf9, 0xfc));
            }
            m_certificateList->addItem(item);
        }
    }
    return !families.isEmpty();
}
