#include "gapplicationaddonsimplxdg.h"

#include "reporter.h"
#include "shellrequestchannel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QXmlStreamWriter>

namespace {

QString translate(const char* text)
{
    return QCoreApplication::translate("GApplicationAddonsImplXdg", text);
}

// A name made of lower-case letters, digits and the given separator only.
QString plainName(const QString& text, QChar separator)
{
    QString name;
    for (const QChar c : text.toLower())
        name += (c.isLetterOrNumber() && c.unicode() < 128) ? c : separator;
    return name;
}

// Writes `contents` to `path` unless the file already holds exactly that, so
// that a registration repeated at every start touches nothing.
bool writeIfChanged(const QString& path, const QByteArray& contents, bool* changed, QString* error)
{
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.size() == contents.size() && existing.readAll() == contents)
        return true;
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *error = translate("Cannot create the directory %1").arg(QDir::toNativeSeparators(QFileInfo(path).path()));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    *changed = true;
    return true;
}

void startIfPresent(const QString& program, const QStringList& arguments)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (!path.isEmpty())
        QProcess::startDetached(path, arguments);
}

}

GApplicationAddonsImplXdg::GApplicationAddonsImplXdg() = default;

GApplicationAddonsImplXdg::~GApplicationAddonsImplXdg() = default;

QString GApplicationAddonsImplXdg::applicationFilePath() const
{
    return m_applicationFilePath.isEmpty() ? QCoreApplication::applicationFilePath() : m_applicationFilePath;
}

QString GApplicationAddonsImplXdg::appName() const
{
    return QFileInfo(applicationFilePath()).baseName();
}

QString GApplicationAddonsImplXdg::mimeTypeForProgId(const QString& progId)
{
    return QStringLiteral("application/x-") + plainName(progId, QLatin1Char('-'));
}

QString GApplicationAddonsImplXdg::desktopExecArgument(const QString& path)
{
    // First the quoting of one argument of the Exec key, then the escapes of
    // any string value of a desktop entry.
    QString quoted = QStringLiteral("\"");
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
    }
    quoted += QLatin1Char('"');

    QString value;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\'))
            value += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            value += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            value += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            value += QStringLiteral("\\r");
        else
            value += c;
    }
    return value;
}

QStringList GApplicationAddonsImplXdg::mimeTypesForExtension(const QString& extension) const
{
    QStringList names;
    const QList<QMimeType> types = QMimeDatabase().mimeTypesForFileName(QStringLiteral("x") + extension);
    for (const QMimeType& type : types)
        names << type.name();
    return names;
}

void GApplicationAddonsImplXdg::refreshDatabases(bool mimeChanged, bool desktopEntryChanged)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (mimeChanged)
        startIfPresent(QStringLiteral("update-mime-database"), {dataHome + QStringLiteral("/mime")});
    if (desktopEntryChanged)
        startIfPresent(QStringLiteral("update-desktop-database"), {dataHome + QStringLiteral("/applications")});
}

bool GApplicationAddonsImplXdg::registerFileType(const QString& progId, const QString& description,
                                                 const QString& extension, const QString&, int, bool, int)
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return false;

    const QString mimeType = mimeTypeForProgId(progId);
    const QString mimeIcon = QString(mimeType).replace(QLatin1Char('/'), QLatin1Char('-'));
    if (!m_mimeTypes.contains(mimeType))
        m_mimeTypes << mimeType;

    // An extension that another application's type already claims is left alone.
    QStringList owners = mimeTypesForExtension(extension);
    owners.removeAll(mimeType);
    const bool claimExtension = owners.isEmpty();

    QByteArray package;
    QXmlStreamWriter xml(&package);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info"));
    xml.writeStartElement(QStringLiteral("mime-info"));
    xml.writeStartElement(QStringLiteral("mime-type"));
    xml.writeAttribute(QStringLiteral("type"), mimeType);
    xml.writeTextElement(QStringLiteral("comment"), description);
    xml.writeEmptyElement(QStringLiteral("icon"));
    xml.writeAttribute(QStringLiteral("name"), mimeIcon);
    if (claimExtension) {
        xml.writeEmptyElement(QStringLiteral("glob"));
        xml.writeAttribute(QStringLiteral("pattern"), QLatin1Char('*') + extension);
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();

    bool mimeChanged = false;
    bool desktopChanged = false;
    bool iconChanged = false;
    QString error;
    QString failedPath = dataHome + QStringLiteral("/mime/packages/") + plainName(progId, QLatin1Char('.'))
                         + QStringLiteral(".xml");
    bool ok = writeIfChanged(failedPath, package, &mimeChanged, &error);

    if (ok) {
        QFile icon(m_iconSource);
        if (icon.open(QIODevice::ReadOnly)) {
            const QByteArray picture = icon.readAll();
            const QString icons = dataHome + QStringLiteral("/icons/hicolor/256x256/");
            const QString suffix = QLatin1Char('.') + QFileInfo(m_iconSource).suffix();
            failedPath = icons + QStringLiteral("apps/") + appName() + suffix;
            ok = writeIfChanged(failedPath, picture, &iconChanged, &error);
            if (ok) {
                failedPath = icons + QStringLiteral("mimetypes/") + mimeIcon + suffix;
                ok = writeIfChanged(failedPath, picture, &iconChanged, &error);
            }
        }
    }

    if (ok) {
        failedPath = dataHome + QStringLiteral("/applications/") + appName() + QStringLiteral(".desktop");
        QString entry;
        entry += QStringLiteral("[Desktop Entry]\n");
        entry += QStringLiteral("Type=Application\n");
        const QString name = QCoreApplication::applicationName();
        entry += QStringLiteral("Name=") + (name.isEmpty() ? appName() : name) + QLatin1Char('\n');
        entry += QStringLiteral("Comment=") + translate("Edit %1 files").arg(description) + QLatin1Char('\n');
        entry += QStringLiteral("Exec=") + desktopExecArgument(applicationFilePath()) + QStringLiteral(" %F\n");
        entry += QStringLiteral("Icon=") + appName() + QLatin1Char('\n');
        entry += QStringLiteral("Terminal=false\n");
        entry += QStringLiteral("Categories=Graphics;Development;\n");
        entry += QStringLiteral("MimeType=") + m_mimeTypes.join(QLatin1Char(';')) + QStringLiteral(";\n");
        ok = writeIfChanged(failedPath, entry.toUtf8(), &desktopChanged, &error);
    }

    if (!ok) {
        Reporter::current().report(Reporter::Warning, translate("Error registering file type"),
                                   translate("Registering %1 with the desktop failed writing\n%2\n\n%3")
                                       .arg(description, QDir::toNativeSeparators(failedPath), error));
    }
    if (mimeChanged || desktopChanged || iconChanged)
        refreshDatabases(mimeChanged, desktopChanged);
    return ok;
}

QString GApplicationAddonsImplXdg::serverName() const
{
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    return directory + QLatin1Char('/') + appName() + QStringLiteral("-shell");
}

void GApplicationAddonsImplXdg::enableDde()
{
    if (m_channel)
        return;
    m_channel = std::make_unique<ShellRequestChannel>();
    QObject::connect(
        m_channel.get(), &ShellRequestChannel::requestReceived, m_channel.get(),
        [this](const QString& request) { executeRequest(request); }, Qt::QueuedConnection);
    m_channel->listen(serverName());
}

bool GApplicationAddonsImplXdg::isListening() const
{
    return m_channel && m_channel->isListening();
}

bool GApplicationAddonsImplXdg::forwardOpenRequests(const QStringList& fileNames)
{
    if (isListening() || fileNames.isEmpty())
        return false;
    return ShellRequestChannel::send(serverName(), GApplicationAddons::openRequests(fileNames));
}
