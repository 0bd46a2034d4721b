#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// The per-user channel through which a second launch of the editor hands its
// open requests to the one already running. One request per line (UTF-8);
// the listener answers each with "ok" before it runs it.
class ShellRequestChannel final : public QObject
{
    Q_OBJECT
public:
    // A line longer than this ends the connection.
    static constexpr int maxRequestLength = 32 * 1024;

    explicit ShellRequestChannel(QObject* parent = nullptr);
    ~ShellRequestChannel() override;

    // Listens on `name` unless a live process already does. A socket left
    // behind by a process that has ended is replaced.
    bool listen(const QString& name);
    bool isListening() const;

    // Sends the requests to the process listening on `name`; true when each
    // was acknowledged within the time limit. Requests holding a line break
    // cannot be sent.
    static bool send(const QString& name, const QStringList& requests, int timeoutMs = 5000);

signals:
    void requestReceived(const QString& request);

private:
    void acceptConnections();
    void readRequests(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
};
