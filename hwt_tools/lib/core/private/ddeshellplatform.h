#pragma once

#include <QString>

// The operating-system calls the shell registration and the dynamic data
// exchange need, and nothing else. Windows provides the real ones; the tests
// provide a recording fake, so the logic above them runs anywhere.
class DdeShellPlatform
{
public:
    virtual ~DdeShellPlatform();

    // The program's file path ('/' separators) and its directory.
    virtual QString applicationFilePath() const = 0;

    // Writes one string value below the current user's "Software\Classes\" + key
    // (an empty valueName is the key's default value).
    virtual bool writeClassesValue(const QString& key, const QString& valueName, const QString& value) = 0;
    // The system's description of the last failed write; may be empty.
    virtual QString lastErrorText() const = 0;
    // Reads the default value of a key of the merged classes root.
    virtual bool readClassesRootDefault(const QString& key, QString* value) const = 0;

    virtual quint16 addAtom(const QString& name) = 0;
    virtual QString atomName(quint16 atom) const = 0;
    virtual void deleteAtom(quint16 atom) = 0;

    // Acknowledges an initiate, synchronously, from the hidden message window.
    virtual void sendInitiateAck(quintptr client, quint16 application, quint16 topic) = 0;
    // The command text of an execute message, and the memory handle holding it.
    virtual QString executeCommandText(quintptr lParam, quintptr* commandHandle) = 0;
    // Posts the positive acknowledgement of an execute, reusing its parameter.
    virtual void postExecuteAck(quintptr client, quintptr lParam, quintptr commandHandle) = 0;
    virtual void postTerminate(quintptr client, quintptr lParam) = 0;
};
