#include "feedupdater.h"

#include "reporter.h"
#include "updaterdialog.h"
#include "updateverification.h"

#include <QCoreApplication>
#include <QDomDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
const char bodyProperty[] = "hwtBody";
const char interactiveProperty[] = "hwtInteractive";
const char redirectsProperty[] = "hwtRedirects";
}

FeedUpdater::FeedUpdater(const UpdateConfig& config, QObject* parent)
    : QObject(parent)
    , AutoUpdater(config)
{
    qRegisterMetaType<UpdaterDialog*>();
}

FeedUpdater::~FeedUpdater()
{
    if (m_manager)
        m_manager->disconnect(this);
}

QNetworkAccessManager* FeedUpdater::manager()
{
    // Made on the first check: setting up the network stack takes a noticeable
    // part of a start-up that may never check at all.
    if (!m_manager) {
        m_manager = new QNetworkAccessManager(this);
        connect(m_manager, &QNetworkAccessManager::finished, this, &FeedUpdater::replyFinished);
    }
    return m_manager;
}

void FeedUpdater::runCheck()
{
    post(feedUrl(), requestBody(), isInteractive(), 0);
}

void FeedUpdater::post(const QUrl& url, const QByteArray& body, bool interactive, int redirects)
{
    if (!UpdateVerification::isAllowedUrl(url, config().allowLoopbackHttp)) {
        // Answered later, as a check over the network would be.
        const QString text = tr("Refused to fetch the update feed from %1: updates are only fetched over https")
                                 .arg(url.toDisplayString());
        QMetaObject::invokeMethod(this, [this, interactive, text] {
            setInteractive(interactive);
            fail(text);
        }, Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(m_timeoutMs);
    QNetworkReply* reply = manager()->post(request, body);
    reply->setProperty(bodyProperty, body);
    reply->setProperty(interactiveProperty, interactive);
    reply->setProperty(redirectsProperty, redirects);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maximumFeedSize)
            reply->abort();
    });
}

void FeedUpdater::replyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    // Each reply is judged by the kind of check that asked for it, so a
    // background answer arriving after an explicit check stays quiet.
    setInteractive(reply->property(interactiveProperty).toBool());

    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (target.isValid() && reply->error() == QNetworkReply::NoError) {
        const int redirects = reply->property(redirectsProperty).toInt() + 1;
        const QUrl next = reply->url().resolved(target.toUrl());
        if (!UpdateVerification::isAllowedUrl(next, config().allowLoopbackHttp)) {
            fail(tr("Refused to follow a redirect from %1 to %2: updates are only fetched over https")
                     .arg(reply->url().toDisplayString(), next.toDisplayString()));
            return;
        }
        if (redirects <= maximumRedirects) {
            post(next, reply->property(bodyProperty).toByteArray(), isInteractive(), redirects);
            return;
        }
        parseXML(QByteArray());
        return;
    }
    parseXML(reply->error() == QNetworkReply::NoError ? reply->read(maximumFeedSize) : QByteArray());
}

void FeedUpdater::parseXML(const QByteArray& data)
{
    QDomDocument document;
    if (!document.setContent(data)) {
        fail(tr("Can't read app cast feed. (No XML)"));
        return;
    }
    const QDomElement rss = document.namedItem(QStringLiteral("rss")).toElement();
    if (rss.isNull()) {
        fail(tr("Can't read app cast feed. (Not RSS)"));
        return;
    }
    const QDomElement channel = rss.namedItem(QStringLiteral("channel")).toElement();
    if (channel.isNull()) {
        fail(tr("Can't read app cast feed. (No channel found)"));
        return;
    }

    const QString runningVersion = QCoreApplication::applicationVersion();
    QString bestVersion = runningVersion;
    QString downloadUrl;
    QString releaseNotesUrl;
    QString signature;
    qint64 length = -1;
    for (QDomElement item = channel.firstChildElement(QStringLiteral("item")); !item.isNull();
         item = item.nextSiblingElement()) {
        const QDomElement enclosure = item.namedItem(QStringLiteral("enclosure")).toElement();
        const QString version = enclosure.attribute(QStringLiteral("sparkle:version"));
        if (compareVersions(version, bestVersion) == 1) {
            bestVersion = version;
            releaseNotesUrl = item.namedItem(QStringLiteral("sparkle:releaseNotesLink")).toElement().text().trimmed();
            downloadUrl = enclosure.attribute(QStringLiteral("url")).trimmed();
            signature = enclosure.attribute(QStringLiteral("sparkle:edSignature"));
            bool ok = false;
            length = enclosure.attribute(QStringLiteral("length")).trimmed().toLongLong(&ok);
            if (!ok || length < 0)
                length = -1;
        }
    }

    const bool skipped = skippedVersions().contains(bestVersion);
    if (bestVersion == runningVersion) {
        if (isInteractive())
            Reporter::current().report(Reporter::Information, tr("No new updates available"),
                                       tr("There are no new updates available for %1")
                                           .arg(QCoreApplication::applicationName()));
    } else if (isInteractive() || !skipped) {
        auto* dialog = new UpdaterDialog(bestVersion, downloadUrl, releaseNotesUrl, config());
        dialog->setDownloadCheck(signature, length);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        emit updateOffered(dialog);
    }
    emit checkFinished();
}

void FeedUpdater::fail(const QString& text)
{
    if (isInteractive())
        Reporter::current().report(Reporter::Critical, tr("Update check failed"), text);
    emit checkFinished();
}
