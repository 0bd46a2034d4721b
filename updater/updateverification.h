#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// What makes an update trustworthy: it is fetched over https only, and the
// file is the one the feed promised, signed with our key.
namespace UpdateVerification {

// https, or plain http to 127.0.0.1 when `allowLoopbackHttp` is set (tests).
bool isAllowedUrl(const QUrl& url, bool allowLoopbackHttp);

// Whether `data` is `expectedLength` bytes long (unless that is negative)
// and carries the Ed25519 signature `signatureBase64` by `publicKey`.
bool verify(const QByteArray& data, const QString& signatureBase64, qint64 expectedLength,
            const QByteArray& publicKey);

}
