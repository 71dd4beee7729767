#include "ExternalLinks.h"

bool openExternalLink(QWidget* parent, const QUrl& url)
{
    return openUntrustedLink(parent, url);
}
