#include "updateverification.h"

#include <sodium.h>

namespace UpdateVerification {

bool isAllowedUrl(const QUrl& url, bool allowLoopbackHttp)
{
    if (!url.isValid())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return allowLoopbackHttp && url.scheme() == QLatin1String("http") && url.host() == QLatin1String("127.0.0.1");
}

bool verify(const QByteArray& data, const QString& signatureBase64, qint64 expectedLength,
            const QByteArray& publicKey)
{
    if (expectedLength >= 0 && data.size() != expectedLength)
        return false;
    const QByteArray::FromBase64Result signature = QByteArray::fromBase64Encoding(
        signatureBase64.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!signature || signature.decoded.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    if (sodium_init() < 0)
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.decoded.constData()),
                                       reinterpret_cast<const unsigned char*>(data.constData()),
                                       static_cast<unsigned long long>(data.size()),
                                       reinterpret_cast<const unsigned char*>(publicKey.constData()))
           == 0;
}

}
