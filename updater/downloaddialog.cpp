#include "downloaddialog.h"

#include "networkreply.h"
#include "reporter.h"
#include "updateverification.h"
#include "weburl.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {
DownloadDialog::Opener& opener()
{
    static DownloadDialog::Opener current;
    return current;
}

int& timeoutMs()
{
    static int timeout = DownloadDialog::defaultTimeoutMs;
    return timeout;
}

bool openWithDesktop(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
}

void DownloadDialog::setOpener(Opener newOpener)
{
    opener() = std::move(newOpener);
}

void DownloadDialog::setTimeout(int milliseconds)
{
    timeoutMs() = milliseconds;
}

DownloadDialog::DownloadDialog(const UpdateConfig& config, const QUrl& url, const QString& signature, qint64 length,
                               QWidget* parent)
    : QDialog(parent)
    , m_url(url)
    , m_config(config)
    , m_signature(signature)
    , m_length(length)
    , m_manager(new QNetworkAccessManager(this))
{
    setModal(true);
    setWindowTitle(tr("Downloading ") + QCoreApplication::applicationName());

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iconLabel"));
    const QPixmap pixmap(config.iconPath);
    if (!pixmap.isNull())
        icon->setPixmap(pixmap.scaledToWidth(64, Qt::SmoothTransformation));
    m_label = new QLabel(tr("Downloading %1").arg(url.fileName()), this);
    m_label->setObjectName(QStringLiteral("statusLabel"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("progressBar"));
    m_progress->setRange(0, 0);
    m_abort = new QPushButton(tr("Abort"), this);
    m_abort->setObjectName(QStringLiteral("abortButton"));
    connect(m_abort, &QPushButton::clicked, this, &DownloadDialog::abortDownload);

    auto* column = new QVBoxLayout;
    column->addWidget(m_label);
    column->addWidget(m_progress);
    column->addWidget(m_abort, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(column, 1);

    download(url);
}

DownloadDialog::~DownloadDialog()
{
    dropReply();
}

QString DownloadDialog::targetPath() const
{
    QString name = QFileInfo(m_url.fileName()).fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QCoreApplication::applicationName();
    // An unusable temporary directory reads as empty; never fall back to the root.
    const QString directory = QDir::tempPath();
    if (directory.isEmpty())
        return name;
    return directory + QLatin1Char('/') + name;
}

void DownloadDialog::download(const QUrl& url)
{
    dropReply();
    if (!UpdateVerification::isAllowedUrl(url, m_config.allowLoopbackHttp)) {
        // Reported once the caller has finished setting the dialog up.
        const QString text = isWebUrl(url)
                                 ? tr("Refused %1: updates are only downloaded over https").arg(url.toDisplayString())
                                 : tr("Unsupported download address: %1").arg(url.toDisplayString());
        QMetaObject::invokeMethod(
            this,
            [this, text]() {
                Reporter::current().report(Reporter::Critical, tr("Download failed"), text, this);
                reject();
            },
            Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs());
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &DownloadDialog::downloadProgress);
    connect(m_reply, &QNetworkReply::errorOccurred, this, &DownloadDialog::error);
    connect(m_reply, &QNetworkReply::finished, this, &DownloadDialog::replyFinished);
}

void DownloadDialog::downloadProgress(qint64 received, qint64 total)
{
    // The bar counts in ints; large files are shown in kilobytes.
    const int shift = total > INT_MAX || received > INT_MAX ? 10 : 0;
    if (total > 0)
        m_progress->setMaximum(int(total >> shift));
    m_progress->setValue(int(qMin<qint64>(received >> shift, m_progress->maximum() > 0 ? m_progress->maximum() : 0)));
}

void DownloadDialog::error(QNetworkReply::NetworkError)
{
    QNetworkReply* reply = m_reply;
    if (!reply)
        return;
    const QString text = reply->errorString();
    dropReply();
    Reporter::current().report(Reporter::Critical, tr("Download failed"), text, this);
    reject();
}

void DownloadDialog::replyFinished()
{
    QNetworkReply* reply = m_reply;
    if (!reply || reply->error() != QNetworkReply::NoError)
        return;
    const QVariant target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute);
    if (target.isValid()) {
        const QUrl next = reply->url().resolved(target.toUrl());
        if (!UpdateVerification::isAllowedUrl(next, m_config.allowLoopbackHttp)) {
            const QUrl from = reply->url();
            dropReply();
            fail(tr("Download failed"), tr("Refused to follow a redirect from %1 to %2: updates are only downloaded "
                                           "over https")
                                            .arg(from.toDisplayString(), next.toDisplayString()));
            return;
        }
        if (++m_redirects > maximumRedirects) {
            dropReply();
            Reporter::current().report(Reporter::Critical, tr("Download failed"),
                                       tr("Too many redirects at %1").arg(next.toDisplayString()), this);
            reject();
            return;
        }
        download(next);
        return;
    }
    const QByteArray data = reply->readAll();
    dropReply();
    saveAndOpen(data);
}

void DownloadDialog::saveAndOpen(const QByteArray& data)
{
    const QString path = targetPath();
    QSaveFile file(path);
    if (QFileInfo(path).isRelative() || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        Reporter::current().report(Reporter::Critical, tr("Failed to save update"),
                                   tr("Failed to write update to %1").arg(path), this);
        reject();
        return;
    }
    // Whatever the network did to it, only our own signed file goes further.
    if (!UpdateVerification::verify(data, m_signature, m_length, m_config.publicKey)) {
        QFile::remove(path);
        fail(tr("Download failed"), tr("The downloaded update could not be verified and was deleted."));
        return;
    }

    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window != this && window->isVisible())
            window->close();
    }

    const bool started = opener() ? opener()(path) : openWithDesktop(path);
    if (!started) {
        Reporter::current().report(Reporter::Critical, tr("Failed to start update"),
                                   tr("Failed to start: %1").arg(path), this);
        reject();
        return;
    }
    accept();
    emit delayedQuit();
}

void DownloadDialog::fail(const QString& title, const QString& text)
{
    Reporter::current().report(Reporter::Critical, title, text, this);
    reject();
}

void DownloadDialog::abortDownload()
{
    dropReply();
    reject();
}

void DownloadDialog::dropReply()
{
    discardReply(m_reply, this);
}
