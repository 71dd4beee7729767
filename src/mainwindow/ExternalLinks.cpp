#include "ExternalLinks.h"

#include "DialogKit.h"

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include <array>

namespace {

constexpr std::array<const char*, 3> kTrustedSchemes{"http", "https", "mailto"};

} // namespace

bool opensWithoutAsking(const QUrl& url)
{
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme();
    for (const char* trusted : kTrustedSchemes) {
        if (scheme.compare(QLatin1String(trusted), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool openExternalLink(QWidget* parent, const QUrl& url)
{
    if (url.isEmpty())
        return false;
    if (!opensWithoutAsking(url)) {
        const QString text = QObject::tr("Ссылка ведёт не на веб-страницу:\n%1\n\nОткрыть её?")
                                 .arg(url.toDisplayString());
        if (!appQuestion(parent, QObject::tr("Открыть ссылку"), text, QObject::tr("Открыть"),
                         QObject::tr("Отмена")))
            return false;
    }
    return QDesktopServices::openUrl(url);
}
