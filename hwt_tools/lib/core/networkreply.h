#pragma once

#include <QNetworkReply>

// Lets go of a reply that is no longer wanted, if there is one: its signals no
// longer reach `receiver`, it stops if still running, and it is deleted once
// control returns to the event loop. `reply` is null afterwards.
inline void discardReply(QNetworkReply*& reply, QObject* receiver)
{
    if (!reply)
        return;
    QNetworkReply* const taken = reply;
    reply = nullptr;
    taken->disconnect(receiver);
    // A reply that has failed is ending already; aborting it again confuses Qt.
    if (taken->isRunning() && taken->error() == QNetworkReply::NoError)
        taken->abort();
    taken->deleteLater();
}
