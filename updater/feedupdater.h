#pragma once

#include "autoupdater.h"

#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class UpdaterDialog;

// The update checker: posts the statistics to the app cast feed and offers a
// newer version in an UpdaterDialog. Every platform uses it; only the feed's
// platform part differs.
class FeedUpdater final : public QObject, public AutoUpdater
{
    Q_OBJECT
public:
    // How long a reply may stay silent before the check counts as failed.
    static constexpr int defaultTimeoutMs = 30000;
    // Redirects followed per check before it counts as failed.
    static constexpr int maximumRedirects = 5;
    // A feed larger than this is not read.
    static constexpr qint64 maximumFeedSize = 8 * 1024 * 1024;

    explicit FeedUpdater(const UpdateConfig& config, QObject* parent = nullptr);
    ~FeedUpdater() override;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

signals:
    // A newer version is offered in `dialog` (shown, deletes itself on close).
    void updateOffered(UpdaterDialog* dialog);
    // A reply has been handled, whatever its outcome.
    void checkFinished();

public slots:
    void replyFinished(QNetworkReply* reply);
    void parseXML(const QByteArray& data);

protected:
    void runCheck() override;

private:
    void post(const QUrl& url, const QByteArray& body, bool interactive, int redirects);
    void fail(const QString& text);

    QNetworkAccessManager* manager();

    QNetworkAccessManager* m_manager = nullptr;
    int m_timeoutMs = defaultTimeoutMs;
};
