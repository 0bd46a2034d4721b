#pragma once

#include "organization.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// What start-up hands to the update checker, and the checker to its dialogs.
struct UpdateConfig
{
    QString iconPath;     // resource path of the application icon
    QString baseUrl;      // download server, without a trailing slash
    QVariantMap statistics;  // usage statistics sent with every check; all values are strings
    // The key update downloads must be signed with (32 bytes).
    QByteArray publicKey = QByteArray::fromBase64(Organization::updatePublicKey);
    // For the tests' loopback servers only: plain http to 127.0.0.1. The
    // program never sets it; everything else is fetched over https.
    bool allowLoopbackHttp = false;
};
