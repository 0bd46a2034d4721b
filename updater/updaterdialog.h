#pragma once

#include "updateconfig.h"

#include <QDialog>


// Offers a newer version: release notes, and the choice to skip it, be
// reminded later or download it.
class UpdaterDialog final : public QDialog
{
    Q_OBJECT
public:
    UpdaterDialog(const QString& version, const QString& downloadUrl, const QString& releaseNotesUrl,
                  const UpdateConfig& config, QWidget* parent = nullptr);

    QString version() const { return m_version; }
    QString downloadUrl() const { return m_downloadUrl; }
    // What the download must match: the enclosure's signature (base64) and
    // length in bytes (negative when the feed gives none).
    void setDownloadCheck(const QString& signature, qint64 length);

signals:
    // Emitted with the download dialog that "Install Update" opened.
    void downloadStarted(QDialog* downloadDialog);

private slots:
    void on_skipVersionButton_clicked();
    void on_remindMeLaterButton_clicked();
    void on_installUpdateButton_clicked();

private:
    QString m_version;
    QString m_downloadUrl;
    QString m_signature;
    qint64 m_length = -1;
    UpdateConfig m_config;
    QWidget* m_releaseNotes;
};
