#include "updaterdialog.h"

#include "autoupdater.h"
#include "downloaddialog.h"
#include "releasenotesview.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QUrl>

UpdaterDialog::UpdaterDialog(const QString& version, const QString& downloadUrl, const QString& releaseNotesUrl,
                             const UpdateConfig& config, QWidget* parent)
    : QDialog(parent)
    , m_version(version)
    , m_downloadUrl(downloadUrl)
    , m_config(config)
{
    const QString application = QCoreApplication::applicationName();
    setWindowTitle(tr("New version available"));

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("iconLabel"));
    const QPixmap pixmap(config.iconPath);
    if (!pixmap.isNull())
        icon->setPixmap(pixmap.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setAlignment(Qt::AlignTop);

    auto* header = new QLabel(tr("A newer version of %1 is available!").arg(application), this);
    header->setObjectName(QStringLiteral("headerLabel"));
    QFont bold = header->font();
    bold.setBold(true);
    header->setFont(bold);
    auto* text = new QLabel(tr("%1 %2 is now available - you have %3. Would you like to download it now?")
                                .arg(application, version, QCoreApplication::applicationVersion()),
                            this);
    text->setObjectName(QStringLiteral("textLabel"));
    text->setWordWrap(true);
    auto* notesLabel = new QLabel(tr("Release Notes:"), this);
    notesLabel->setObjectName(QStringLiteral("releaseNotesLabel"));
    QFont smallBold = notesLabel->font();
    smallBold.setBold(true);
    notesLabel->setFont(smallBold);

    m_releaseNotes = ReleaseNotesView::create(QUrl(releaseNotesUrl), this);
    m_releaseNotes->setMinimumSize(480, 240);

    auto* skip = new QPushButton(tr("Skip This Version"), this);
    skip->setObjectName(QStringLiteral("skipVersionButton"));
    auto* later = new QPushButton(tr("Remind Me Later"), this);
    later->setObjectName(QStringLiteral("remindMeLaterButton"));
    auto* install = new QPushButton(tr("Install Update"), this);
    install->setObjectName(QStringLiteral("installUpdateButton"));
    install->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(skip);
    buttons->addStretch(1);
    buttons->addWidget(later);
    buttons->addWidget(install);

    auto* content = new QVBoxLayout;
    content->addWidget(header);
    content->addWidget(text);
    content->addWidget(notesLabel);
    content->addWidget(m_releaseNotes, 1);
    content->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addLayout(content, 1);

    QMetaObject::connectSlotsByName(this);
}

void UpdaterDialog::on_skipVersionButton_clicked()
{
    AutoUpdater::skipVersion(m_version);
    done(0);
}

void UpdaterDialog::on_remindMeLaterButton_clicked()
{
    done(0);
}

void UpdaterDialog::setDownloadCheck(const QString& signature, qint64 length)
{
    m_signature = signature;
    m_length = length;
}

void UpdaterDialog::on_installUpdateButton_clicked()
{
    auto* download = new DownloadDialog(m_config, QUrl(m_downloadUrl), m_signature, m_length);
    download->setAttribute(Qt::WA_DeleteOnClose);
    download->show();
    emit downloadStarted(download);
    done(1);
}
