#include "LinkOpening.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char*, 3> kTrustedSchemes{"http", "https", "mailto"};

} // namespace

bool opensWithoutAsking(const QUrl& url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    return std::any_of(kTrustedSchemes.begin(), kTrustedSchemes.end(), [&scheme](const char* trusted) {
        return scheme.compare(QLatin1String(trusted), Qt::CaseInsensitive) == 0;
    });
}

bool launchesProgram(const QString& path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(QLatin1String("desktop"), Qt::CaseInsensitive) == 0)
        return true;
    if (info.isFile() && info.isExecutable())
        return true;
    static const QStringList kProgramTypes = {
        QStringLiteral("application/x-executable"),   QStringLiteral("application/x-sharedlib"),
        QStringLiteral("application/x-desktop"),      QStringLiteral("application/x-shellscript"),
        QStringLiteral("application/x-msdownload"),   QStringLiteral("application/x-ms-dos-executable"),
        QStringLiteral("application/x-pie-executable"), QStringLiteral("application/vnd.appimage"),
    };
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    return std::any_of(kProgramTypes.begin(), kProgramTypes.end(),
                       [&type](const QString& name) { return type.inherits(name); });
}

bool openUntrustedLink(QWidget* parent, const QUrl& url)
{
    if (url.isEmpty())
        return false;
    if (opensWithoutAsking(url))
        return QDesktopServices::openUrl(url);
    const QString shown = url.toDisplayString();
    const bool local = url.isLocalFile() || url.scheme().isEmpty();
    if (local && launchesProgram(url.isLocalFile() ? url.toLocalFile() : url.path())) {
        QMessageBox refusal(QMessageBox::Warning, QObject::tr("Ссылка не открыта"),
                            QObject::tr("Ссылка в документе ведёт на программу, она не будет запущена:\n%1")
                                .arg(shown),
                            QMessageBox::Ok, parent);
        refusal.setObjectName(QStringLiteral("linkRefusal"));
        refusal.exec();
        return false;
    }
    QMessageBox question(QMessageBox::Question, QObject::tr("Открыть ссылку"),
                         QObject::tr("Документ ссылается на:\n%1\n\nОткрыть?").arg(shown),
                         QMessageBox::Yes | QMessageBox::No, parent);
    question.setObjectName(QStringLiteral("linkConfirmation"));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return false;
    return QDesktopServices::openUrl(url);
}
