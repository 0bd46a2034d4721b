#pragma once

#include <QString>
#include <QVariantMap>

// What start-up hands to the update checker, and the checker to its dialogs.
struct UpdateConfig
{
    QString iconPath;     // resource path of the application icon
    QString baseUrl;      // download server, without a trailing slash
    QVariantMap statistics;  // usage statistics sent with every check; all values are strings
};
