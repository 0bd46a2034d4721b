#pragma once

#include "updateconfig.h"

#include <QDialog>
#include <QNetworkReply>
#include <QUrl>

#include <functional>

class QLabel;
class QNetworkAccessManager;
class QProgressBar;
class QPushButton;

// Downloads an update into the temporary directory and hands it to the
// system to open. Modal; shows progress and can be aborted.
class DownloadDialog final : public QDialog
{
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 30000;
    static constexpr int maximumRedirects = 5;

    // Opens a downloaded file; returns whether the system accepted it.
    using Opener = std::function<bool(const QString& path)>;
    // Replaces how downloaded files are opened (null restores the desktop's
    // default handler).
    static void setOpener(Opener opener);
    // How long a download may stay silent before it fails.
    static void setTimeout(int milliseconds);

    // The file is handed on only when it carries `signature` (base64 Ed25519
    // by the config's key) and, unless `length` is negative, is that long.
    DownloadDialog(const UpdateConfig& config, const QUrl& url, const QString& signature, qint64 length,
                   QWidget* parent = nullptr);
    ~DownloadDialog() override;

    // Where the update is saved: the temporary directory and the file name of
    // the address it was offered at.
    QString targetPath() const;

signals:
    void delayedQuit();

public slots:
    void download(const QUrl& url);

private slots:
    void downloadProgress(qint64 received, qint64 total);
    void error(QNetworkReply::NetworkError code);
    void replyFinished();
    void abortDownload();

private:
    void dropReply();
    void saveAndOpen(const QByteArray& data);

    void fail(const QString& title, const QString& text);

    QUrl m_url;
    UpdateConfig m_config;
    QString m_signature;
    qint64 m_length;
    int m_redirects = 0;
    QNetworkAccessManager* m_manager;
    QNetworkReply* m_reply = nullptr;
    QLabel* m_label;
    QProgressBar* m_progress;
    QPushButton* m_abort;
};
