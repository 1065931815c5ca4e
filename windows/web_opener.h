#pragma once

#include <QUrl>

#include <functional>

// Opens a web site in the desktop's browser without waiting for it. Returns false when it could not be started.
using UrlOpener = std::function<bool(const QUrl&)>;

bool openWebSite(const QUrl& url);

// Replaces how web sites are opened (tests count and fail opens this way); an empty opener restores the desktop's.
void setUrlOpener(UrlOpener opener);

// The web sites behind the two logos.
QUrl companyWebSite();
QUrl developerWebSite();
