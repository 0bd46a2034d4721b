#pragma once

#include <QUrl>

// Whether a URL may be fetched over the network: only http and https are, so a
// feed, a redirect or a release-notes link can never reach a local file.
inline bool isWebUrl(const QUrl& url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}
