#include "windows/web_opener.h"

#include <QDesktopServices>

namespace {

UrlOpener& currentOpener()
{
    static UrlOpener opener;
    return opener;
}

} // namespace

bool openWebSite(const QUrl& url)
{
    if (const UrlOpener& opener = currentOpener())
        return opener(url);
    // Starts the desktop's handler detached; nothing waits for the browser.
    return QDesktopServices::openUrl(url);
}

void setUrlOpener(UrlOpener opener)
{
    currentOpener() = std::move(opener);
}

QUrl companyWebSite()
{
    return QUrl(QStringLiteral("https://www.example.com/"));
}

QUrl developerWebSite()
{
    return QUrl(QStringLiteral("https://www.example.org/"));
}
