#include "gapplicationaddons.h"
#include "private/ddeshellintegration.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QMap>
#include <QtTest>

namespace {

struct Write
{
    QString key;
    QString valueName;
    QString value;
    bool operator==(const Write& other) const
    {
        return key == other.key && valueName == other.valueName && value == other.value;
    }
};

char* toString(const Write& write)
{
    return QTest::toString(QStringLiteral("[%1] %2 = %3").arg(write.key, write.valueName, write.value));
}

// Records every platform call in one log, so tests can check their order.
class FakePlatform final : public DdeShellPlatform
{
public:
    explicit FakePlatform(QStringList* log) : m_log(log) {}

    QString applicationFilePath() const override { return QStringLiteral("C:/Program Files/Hullwright/Hullwright.exe"); }

    bool writeClassesValue(const QString& key, const QString& valueName, const QString& value) override
    {
        if (failAt == writes.size()) {
            m_log->append(QStringLiteral("failed write ") + key);
            return false;
        }
        writes.append({key, valueName, value});
        m_log->append(QStringLiteral("write ") + key);
        return true;
    }
    QString lastErrorText() const override { return QStringLiteral("Access is denied."); }
    bool readClassesRootDefault(const QString& key, QString* value) const override
    {
        m_log->append(QStringLiteral("read ") + key);
        if (!classesRoot.contains(key))
            return false;
        *value = classesRoot.value(key);
        return true;
    }

    quint16 addAtom(const QString& name) override
    {
        m_log->append(QStringLiteral("add atom ") + name);
        if (!atoms.contains(name))
            atoms.insert(name, quint16(0xC000 + atoms.size()));
        return atoms.value(name);
    }
    QString atomName(quint16 atom) const override { return atoms.key(atom); }
    void deleteAtom(quint16 atom) override { m_log->append(QStringLiteral("delete atom %1").arg(atoms.key(atom))); }

    void sendInitiateAck(quintptr client, quint16 application, quint16 topic) override
    {
        m_log->append(QStringLiteral("initiate ack to %1: %2 %3").arg(client).arg(atoms.key(application), atoms.key(topic)));
    }
    QString executeCommandText(quintptr lParam, quintptr* commandHandle) override
    {
        *commandHandle = lParam + 1;
        return commands.value(lParam);
    }
    void postExecuteAck(quintptr client, quintptr lParam, quintptr commandHandle) override
    {
        m_log->append(QStringLiteral("execute ack to %1: %2 %3").arg(client).arg(lParam).arg(commandHandle));
    }
    void postTerminate(quintptr client, quintptr lParam) override
    {
        m_log->append(QStringLiteral("terminate to %1: %2").arg(client).arg(lParam));
    }

    QList<Write> writes;
    int failAt = -1;
    QMap<QString, QString> classesRoot;
    QMap<QString, quint16> atoms;
    QMap<quintptr, QString> commands;

private:
    QStringList* m_log;
};

class RecordingIntegration final : public DdeShellIntegration
{
public:
    RecordingIntegration(std::unique_ptr<FakePlatform> platform, QStringList* log)
        : DdeShellIntegration(std::move(platform))
        , m_log(log)
    {
    }
    FakePlatform& fake() const { return static_cast<FakePlatform&>(platform()); }

protected:
    void unknownCommand(const QString& command, const QString& argument) override
    {
        m_log->append(QStringLiteral("unknown %1 %2").arg(command, argument));
    }

private:
    QStringList* m_log;
};

// The application's side: records the files the shell asks to open.
class RecordingAddons final : public GApplicationAddons
{
public:
    explicit RecordingAddons(QStringList* log)
        : GApplicationAddons(std::make_unique<RecordingIntegration>(std::make_unique<FakePlatform>(log), log))
        , m_log(log)
    {
    }
    RecordingIntegration& integration() const { return *static_cast<RecordingIntegration*>(impl()); }
    FakePlatform& platform() const { return integration().fake(); }

    void openShellFile(const QString& fileName) override { m_log->append(QStringLiteral("open ") + fileName); }

private:
    QStringList* m_log;
};

const QString progId = QStringLiteral("Hullwright.SpriteSheet");

bool registerSheet(GApplicationAddons& addons, int shellCommands = GApplicationAddons::OpenCommand, bool useDde = true)
{
    return addons.registerFileType(progId, QStringLiteral("Hullwright Sheet"), QStringLiteral(".hws"),
                                   QStringLiteral("HWS.ico"), 0, useDde, shellCommands);
}

// What the registration of the sprite sheet writes below the user's classes.
QList<Write> sheetWrites()
{
    return {
        {"Hullwright.SpriteSheet", "", "Hullwright Sheet"},
        {"Hullwright.SpriteSheet\\DefaultIcon", "", "\"C:\\Program Files\\Hullwright\\HWS.ico\",0"},
        {"Hullwright.SpriteSheet\\shell\\Open\\command", "", "\"C:\\Program Files\\Hullwright\\Hullwright.exe\" \"%1\""},
        {"Hullwright.SpriteSheet\\shell\\Open\\ddeexec", "", "[open(\"%1\")]"},
        {"Hullwright.SpriteSheet\\shell\\Open\\ddeexec\\application", "", "Hullwright"},
        {"Hullwright.SpriteSheet\\shell\\Open\\ddeexec\\topic", "", "system"},
        {".hws", "", "Hullwright.SpriteSheet"},
        {".hws\\ShellNew", "NullFile", ""},
    };
}

GApplicationAddons::DdeMessage message(quintptr wParam, quintptr lParam)
{
    GApplicationAddons::DdeMessage m;
    m.wParam = wParam;
    m.lParam = lParam;
    return m;
}

}

class TestShellRegistration : public QObject
{
    Q_OBJECT

private slots:
    void registrationWritesTheClassAndTheExtension();
    void registrationIsRepeatable();
    void extensionOwnership_data();
    void extensionOwnership();
    void failedWriteEndsRegistration_data();
    void failedWriteEndsRegistration();
    void shellVerbTable();
    void verbsWithoutDde();

    void atomsLiveFromEnableUntilDestruction();
    void initiate_data();
    void initiate();
    void execute_data();
    void execute();
    void terminateIsAnswered();

    void argumentsAndRequests();
    void queuedRequestsRunInTheEventLoop();
};

void TestShellRegistration::registrationWritesTheClassAndTheExtension()
{
    QStringList log;
    RecordingAddons addons(&log);
    RecordingReporter reporter;
    QVERIFY(registerSheet(addons));
    QCOMPARE(addons.platform().writes, sheetWrites());
    QVERIFY(reporter.entries.isEmpty());
    // The owner of the extension is read after the verbs and before the extension is written.
    QCOMPARE(log.indexOf(QStringLiteral("read .hws")), log.indexOf(QStringLiteral("write .hws")) - 1);
    QVERIFY(addons.integration().useDde());
    QCOMPARE(addons.integration().appName(), QStringLiteral("Hullwright"));
}

void TestShellRegistration::registrationIsRepeatable()
{
    QStringList log;
    RecordingAddons addons(&log);
    addons.platform().classesRoot.insert(QStringLiteral(".hws"), progId);
    QVERIFY(registerSheet(addons));
    QVERIFY(registerSheet(addons));
    QCOMPARE(addons.platform().writes, sheetWrites() + sheetWrites());
}

void TestShellRegistration::extensionOwnership_data()
{
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<bool>("taken");
    QTest::newRow("no key") << false << QString() << true;
    QTest::newRow("empty default") << true << QString() << true;
    QTest::newRow("ours") << true << progId << true;
    QTest::newRow("another class") << true << QStringLiteral("Paint.Picture") << false;
    // Class names are registry keys, which ignore case.
    QTest::newRow("ours in other case") << true << QStringLiteral("hullwright.spritesheet") << true;
}

void TestShellRegistration::extensionOwnership()
{
    QFETCH(bool, readable);
    QFETCH(QString, owner);
    QFETCH(bool, taken);
    QStringList log;
    RecordingAddons addons(&log);
    if (readable)
        addons.platform().classesRoot.insert(QStringLiteral(".hws"), owner);
    RecordingReporter reporter;
    QVERIFY(registerSheet(addons));
    QList<Write> expected = sheetWrites();
    if (!taken)
        expected = expected.mid(0, 6);
    QCOMPARE(addons.platform().writes, expected);
    QVERIFY(reporter.entries.isEmpty());
}

void TestShellRegistration::failedWriteEndsRegistration_data()
{
    QTest::addColumn<int>("failAt");
    const QList<Write> writes = sheetWrites();
    for (int i = 0; i < writes.size(); ++i)
        QTest::addRow("%s", qPrintable(writes.at(i).key + QLatin1Char(' ') + writes.at(i).valueName)) << i;
}

void TestShellRegistration::failedWriteEndsRegistration()
{
    QFETCH(int, failAt);
    QStringList log;
    RecordingAddons addons(&log);
    addons.platform().failAt = failAt;
    RecordingReporter reporter;
    QVERIFY(!registerSheet(addons));
    QCOMPARE(addons.platform().writes, sheetWrites().mid(0, failAt));
    QVERIFY(log.last().startsWith(QLatin1String("failed write ")));

    QCOMPARE(reporter.entries.size(), 1);
    const RecordingReporter::Entry& entry = reporter.entries.first();
    QCOMPARE(entry.severity, Reporter::Warning);
    QCOMPARE(entry.title, QStringLiteral("Error in setting Registry values"));
    const QString fullKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Classes\\") + sheetWrites().at(failAt).key;
    QVERIFY2(entry.text.contains(fullKey + QLatin1Char('\n')) || entry.text.endsWith(fullKey), qPrintable(entry.text));
    QVERIFY(entry.text.contains(QLatin1String("Access is denied.")));
}

void TestShellRegistration::shellVerbTable()
{
    QStringList log;
    RecordingAddons addons(&log);
    QVERIFY(registerSheet(addons, GApplicationAddons::OpenCommand | GApplicationAddons::NewCommand
                                      | GApplicationAddons::PrintCommand));
    QStringList verbKeys;
    QMap<QString, QString> values;
    for (const Write& write : addons.platform().writes) {
        values.insert(write.key, write.value);
        if (write.key.contains(QLatin1String("\\shell\\")))
            verbKeys << write.key.section(QLatin1Char('\\'), 2, 2);
    }
    verbKeys.removeDuplicates();
    QCOMPARE(verbKeys, (QStringList{"Open", "New", "Print"}));
    const QString exe = QStringLiteral("\"C:\\Program Files\\Hullwright\\Hullwright.exe\"");
    QCOMPARE(values.value("Hullwright.SpriteSheet\\shell\\New\\command"), exe + " -new \"%1\"");
    QCOMPARE(values.value("Hullwright.SpriteSheet\\shell\\New\\ddeexec"), QStringLiteral("[new(\"%1\")]"));
    QCOMPARE(values.value("Hullwright.SpriteSheet\\shell\\Print\\command"), exe + " -print \"%1\"");
    QCOMPARE(values.value("Hullwright.SpriteSheet\\shell\\Print\\ddeexec"), QStringLiteral("[print(\"%1\")]"));
    QCOMPARE(values.value("Hullwright.SpriteSheet\\shell\\Print\\ddeexec\\topic"), QStringLiteral("system"));
    QCOMPARE(addons.platform().writes.size(), 2 + 3 * 4 + 2);

    // Only the bits asked for are registered.
    QStringList printOnly;
    RecordingAddons other(&printOnly);
    QVERIFY(registerSheet(other, GApplicationAddons::PrintCommand));
    for (const Write& write : other.platform().writes)
        QVERIFY(!write.key.contains(QLatin1String("\\Open\\")) && !write.key.contains(QLatin1String("\\New\\")));
}

void TestShellRegistration::verbsWithoutDde()
{
    QStringList log;
    RecordingAddons addons(&log);
    QVERIFY(registerSheet(addons, GApplicationAddons::OpenCommand, false));
    QVERIFY(!addons.integration().useDde());
    for (const Write& write : addons.platform().writes)
        QVERIFY2(!write.key.contains(QLatin1String("ddeexec")), qPrintable(write.key));
    QCOMPARE(addons.platform().writes.size(), 5);
}

void TestShellRegistration::atomsLiveFromEnableUntilDestruction()
{
    QStringList log;
    {
        RecordingAddons addons(&log);
        QCOMPARE(addons.integration().appAtom(), quint16(0));
        addons.enableDde();
        addons.enableDde();
        QVERIFY(addons.integration().appAtom() != 0);
        QVERIFY(addons.integration().systemTopicAtom() != 0);
        QVERIFY(addons.integration().appAtom() != addons.integration().systemTopicAtom());
        QCOMPARE(log, (QStringList{"add atom Hullwright", "add atom system"}));
    }
    QCOMPARE(log.mid(2), (QStringList{"delete atom Hullwright", "delete atom system"}));
}

void TestShellRegistration::initiate_data()
{
    // Which atoms the request names: the service's, the topic's, none (0) or another.
    QTest::addColumn<QString>("application");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<bool>("answered");
    QTest::newRow("service and topic") << "app" << "topic" << true;
    QTest::newRow("wildcard service") << "none" << "topic" << false;
    QTest::newRow("wildcard topic") << "app" << "none" << false;
    QTest::newRow("wildcard both") << "none" << "none" << false;
    QTest::newRow("other service") << "other" << "topic" << false;
    QTest::newRow("other topic") << "app" << "other" << false;
    QTest::newRow("swapped") << "topic" << "app" << false;
}

void TestShellRegistration::initiate()
{
    QFETCH(QString, application);
    QFETCH(QString, topic);
    QFETCH(bool, answered);
    QStringList log;
    RecordingAddons addons(&log);
    addons.enableDde();
    const quint16 other = addons.platform().addAtom(QStringLiteral("Excel"));
    auto atom = [&](const QString& which) -> quintptr {
        if (which == QLatin1String("app"))
            return addons.integration().appAtom();
        if (which == QLatin1String("topic"))
            return addons.integration().systemTopicAtom();
        return which == QLatin1String("other") ? other : 0;
    };
    log.clear();
    qintptr result = 42;
    QVERIFY(addons.onDdeInitiate(message(77, atom(application) | (atom(topic) << 16)), &result));
    QCOMPARE(result, qintptr(0));
    if (answered)
        QCOMPARE(log, (QStringList{"add atom Hullwright", "add atom system", "initiate ack to 77: Hullwright system"}));
    else
        QVERIFY2(log.isEmpty(), qPrintable(log.join(", ")));
}

void TestShellRegistration::execute_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("effects");
    QTest::newRow("quoted path with blanks")
        << "[open(\"C:\\My Sheets\\level one.hws\")]" << QStringList{"open C:\\My Sheets\\level one.hws"};
    QTest::newRow("capitals") << "[OPEN(\"C:\\a.hws\")]" << QStringList{"open C:\\a.hws"};
    QTest::newRow("mixed case") << "[Open(\"a.hws\")]" << QStringList{"open a.hws"};
    QTest::newRow("empty path") << "[open(\"\")]" << QStringList{"open "};
    QTest::newRow("unquoted path") << "[open(C:\\a.hws)]" << QStringList{"unknown open C:\\a.hws"};
    QTest::newRow("half quoted") << "[open(\"C:\\a.hws)]" << QStringList{"unknown open \"C:\\a.hws"};
    QTest::newRow("print") << "[print(\"C:\\a.hws\")]" << QStringList();
    QTest::newRow("new") << "[NEW(\"C:\\a.hws\")]" << QStringList();
    QTest::newRow("print unquoted") << "[print(a.hws)]" << QStringList{"unknown print a.hws"};
    QTest::newRow("unknown") << "[frobnicate(\"x\")]" << QStringList{"unknown frobnicate \"x\""};
    QTest::newRow("text before") << "x[open(\"C:\\a.hws\")]" << QStringList();
    QTest::newRow("blank before") << " [open(\"C:\\a.hws\")]" << QStringList();
    QTest::newRow("text after") << "[open(\"C:\\a.hws\")]x" << QStringList();
    QTest::newRow("line break after") << "[open(\"C:\\a.hws\")]\n" << QStringList();
    QTest::newRow("no brackets") << "open(\"C:\\a.hws\")" << QStringList();
    QTest::newRow("no name") << "[(\"C:\\a.hws\")]" << QStringList();
    QTest::newRow("empty") << "" << QStringList();
}

void TestShellRegistration::execute()
{
    QFETCH(QString, command);
    QFETCH(QStringList, effects);
    QStringList log;
    RecordingAddons addons(&log);
    addons.enableDde();
    addons.platform().commands.insert(500, command);
    log.clear();
    qintptr result = 42;
    QVERIFY(addons.onDdeExecute(message(88, 500), &result));
    QCOMPARE(result, qintptr(0));
    // Acknowledged first, positively, whatever the text; then the command runs.
    QCOMPARE(log.value(0), QStringLiteral("execute ack to 88: 500 501"));
    QCOMPARE(log.mid(1), effects);
}

void TestShellRegistration::terminateIsAnswered()
{
    QStringList log;
    RecordingAddons addons(&log);
    qintptr result = 42;
    QVERIFY(addons.onDdeTerminate(message(99, 0x12345), &result));
    QCOMPARE(log, QStringList{QStringLiteral("terminate to 99: %1").arg(0x12345)});
}

void TestShellRegistration::argumentsAndRequests()
{
    QCOMPARE(GApplicationAddons::filesFromArguments({"hullwright"}), QStringList());
    QCOMPARE(GApplicationAddons::filesFromArguments({"hullwright", "a.hws", "-new", "b c.hws", "", "--", "-d.hws"}),
             (QStringList{"a.hws", "b c.hws", "-d.hws"}));
    QCOMPARE(GApplicationAddons::openRequest(QStringLiteral("/sheets/level one.hws")),
             QStringLiteral("[open(\"/sheets/level one.hws\")]"));
    // A relative name is resolved against the directory it was given in.
    QCOMPARE(GApplicationAddons::openRequest(QStringLiteral("level.hws")),
             QStringLiteral("[open(\"%1/level.hws\")]").arg(QDir::currentPath()));

    // The request built for a path with blanks and quotes opens exactly that path.
    QStringList log;
    RecordingAddons addons(&log);
    addons.executeRequest(GApplicationAddons::openRequest(QStringLiteral("/a \"b\"/c.hws")));
    QCOMPARE(log, QStringList{QStringLiteral("open /a \"b\"/c.hws")});
}

void TestShellRegistration::queuedRequestsRunInTheEventLoop()
{
    QStringList log;
    RecordingAddons addons(&log);
    addons.queueOpenRequests({QStringLiteral("/x/one.hws"), QStringLiteral("/x/two.hws")});
    QVERIFY(log.isEmpty());
    QTRY_COMPARE(log, (QStringList{"open /x/one.hws", "open /x/two.hws"}));
}

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestShellRegistration test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shellregistration.moc"
