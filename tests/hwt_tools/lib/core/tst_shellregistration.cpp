#include "gapplicationaddons.h"
#include "private/ddeshellintegration.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QMap>
#include <QtTest>

namespace {

// Records every platform call in one log, so that tests see their order. A
// registry write is kept as "key|value name|value".
struct FakePlatform final : DdeShellPlatform
{
    explicit FakePlatform(QStringList* log) : log(log) {}

    QString applicationFilePath() const override { return QStringLiteral("C:/Program Files/Hullwright/Hullwright.exe"); }
    bool writeClassesValue(const QString& key, const QString& name, const QString& value) override
    {
        const bool ok = failAt != writes.size();
        *log << (ok ? "write " : "failed write ") + key;
        if (ok)
            writes << key + QLatin1Char('|') + name + QLatin1Char('|') + value;
        return ok;
    }
    QString lastErrorText() const override { return QStringLiteral("Access is denied."); }
    bool readClassesRootDefault(const QString& key, QString* value) const override
    {
        *log << QStringLiteral("read ") + key;
        *value = owner;
        return !owner.isNull();
    }
    quint16 addAtom(const QString& name) override
    {
        *log << QStringLiteral("add atom ") + name;
        return atoms.insert(name, atoms.value(name, quint16(0xC000 + atoms.size()))).value();
    }
    QString atomName(quint16 atom) const override { return atoms.key(atom); }
    void deleteAtom(quint16 atom) override { *log << QStringLiteral("delete atom ") + atoms.key(atom); }
    void sendInitiateAck(quintptr client, quint16 application, quint16 topic) override
    {
        *log << QStringLiteral("ack %1: %2 %3").arg(client).arg(atoms.key(application), atoms.key(topic));
    }
    QString executeCommandText(quintptr lParam, quintptr* handle) override
    {
        *handle = lParam + 1;
        return command;
    }
    void postExecuteAck(quintptr client, quintptr lParam, quintptr handle) override
    {
        *log << QStringLiteral("ack %1: %2 %3").arg(client).arg(lParam).arg(handle);
    }
    void postTerminate(quintptr client, quintptr lParam) override
    {
        *log << QStringLiteral("end %1: %2").arg(client).arg(lParam);
    }

    QStringList* log;
    QStringList writes;
    int failAt = -1;
    QString owner;  // of the extension; null: no such key
    QMap<QString, quint16> atoms;
    QString command;
};

struct RecordingIntegration final : DdeShellIntegration
{
    RecordingIntegration(QStringList* log) : DdeShellIntegration(std::make_unique<FakePlatform>(log)), log(log) {}
    FakePlatform& fake() const { return static_cast<FakePlatform&>(platform()); }
    void unknownCommand(const QString& command, const QString& argument) override
    {
        *log << QStringLiteral("unknown %1 %2").arg(command, argument);
    }
    QStringList* log;
};

// The application's side: records the files the shell asks to open.
struct RecordingAddons final : GApplicationAddons
{
    RecordingAddons(QStringList* log) : GApplicationAddons(std::make_unique<RecordingIntegration>(log)), log(log) {}
    DdeShellIntegration& integration() const { return *static_cast<DdeShellIntegration*>(impl()); }
    FakePlatform& platform() const { return static_cast<RecordingIntegration*>(impl())->fake(); }
    void openShellFile(const QString& fileName) override { *log << QStringLiteral("open ") + fileName; }
    QStringList* log;
};

const QString progId = QStringLiteral("Hullwright.SpriteSheet");

bool registerSheet(GApplicationAddons& addons, int commands = GApplicationAddons::OpenCommand, bool useDde = true)
{
    return addons.registerFileType(progId, QStringLiteral("Hullwright Sheet"), QStringLiteral(".hws"),
                                   QStringLiteral("HWS.ico"), 0, useDde, commands);
}

// What registering the sprite sheet writes below the user's classes.
QStringList layout(const QStringList& verbs, bool dde = true, bool extension = true)
{
    QStringList writes{"Hullwright.SpriteSheet||Hullwright Sheet",
                       "Hullwright.SpriteSheet\\DefaultIcon||\"C:\\Program Files\\Hullwright\\HWS.ico\",0"};
    for (const QString& verb : verbs) {
        const QString key = progId + QStringLiteral("\\shell\\") + verb;
        const QString option = verb == QLatin1String("Open") ? QString() : QStringLiteral(" -") + verb.toLower();
        writes << key + "\\command||\"C:\\Program Files\\Hullwright\\Hullwright.exe\"" + option + " \"%1\"";
        if (dde)
            writes << key + "\\ddeexec||[" + verb.toLower() + "(\"%1\")]" << key + "\\ddeexec\\application||Hullwright"
                   << key + "\\ddeexec\\topic||system";
    }
    if (extension)
        writes << ".hws||Hullwright.SpriteSheet" << ".hws\\ShellNew|NullFile|";
    return writes;
}

}

class TestShellRegistration : public QObject
{
    Q_OBJECT

private slots:
    void registration_data()
    {
        QTest::addColumn<int>("commands");
        QTest::addColumn<bool>("dde");
        QTest::addColumn<QString>("owner");  // of the extension; null: no such key
        QTest::addColumn<QStringList>("writes");
        const int open = GApplicationAddons::OpenCommand;
        QTest::newRow("open") << open << true << QString() << layout({"Open"});
        QTest::newRow("without requests") << open << false << QString() << layout({"Open"}, false);
        QTest::newRow("every verb") << (open | GApplicationAddons::NewCommand | GApplicationAddons::PrintCommand) << true
                                    << QString() << layout({"Open", "New", "Print"});
        QTest::newRow("print only") << int(GApplicationAddons::PrintCommand) << true << QString() << layout({"Print"});
        QTest::newRow("empty owner") << open << true << "" << layout({"Open"});
        QTest::newRow("ours") << open << true << progId << layout({"Open"});
        // Class names are registry keys, which ignore case.
        QTest::newRow("ours in other case") << open << true << progId.toLower() << layout({"Open"});
        QTest::newRow("another class") << open << true << "Paint.Picture" << layout({"Open"}, true, false);
    }

    void registration()
    {
        QFETCH(int, commands);
        QFETCH(bool, dde);
        QFETCH(QString, owner);
        QFETCH(QStringList, writes);
        QStringList log;
        RecordingAddons addons(&log);
        addons.platform().owner = owner;
        RecordingReporter reporter;
        QVERIFY(registerSheet(addons, commands, dde));
        QCOMPARE(addons.platform().writes, writes);
        QVERIFY(reporter.entries.isEmpty());
        QCOMPARE(addons.integration().useDde(), dde);
        // The owner of the extension is read after the verbs and before the extension is written.
        QCOMPARE(log.indexOf(QStringLiteral("read .hws")), writes.size() - (writes.last().startsWith(".hws") ? 2 : 0));
    }

    void failedWriteEndsRegistration_data()
    {
        QTest::addColumn<int>("failAt");
        for (int i = 0; i < layout({"Open"}).size(); ++i)
            QTest::addRow("%s", qPrintable(layout({"Open"}).at(i).section(QLatin1Char('|'), 0, 1))) << i;
    }

    void failedWriteEndsRegistration()
    {
        QFETCH(int, failAt);
        QStringList log;
        RecordingAddons addons(&log);
        addons.platform().failAt = failAt;
        RecordingReporter reporter;
        QVERIFY(!registerSheet(addons));
        QCOMPARE(addons.platform().writes, layout({"Open"}).mid(0, failAt));
        QVERIFY(log.last().startsWith(QLatin1String("failed write ")));
        QCOMPARE(reporter.entries.size(), 1);
        QCOMPARE(reporter.entries.first().severity, Reporter::Warning);
        // The report names the whole key and the system's reason.
        const QString text = reporter.entries.first().text;
        const QString key = "HKEY_CURRENT_USER\\Software\\Classes\\"
                            + layout({"Open"}).at(failAt).section(QLatin1Char('|'), 0, 0);
        QVERIFY2(text.contains(key + QLatin1Char('\n')) || text.endsWith(key), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("Access is denied.")));
    }

    void initiate_data()
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

    void initiate()
    {
        QFETCH(QString, application);
        QFETCH(QString, topic);
        QFETCH(bool, answered);
        QStringList log;
        {
            RecordingAddons addons(&log);
            QCOMPARE(addons.integration().appAtom(), quint16(0));
            addons.enableDde();
            addons.enableDde();
            const QMap<QString, quintptr> atoms{{"app", addons.integration().appAtom()},
                                                {"topic", addons.integration().systemTopicAtom()},
                                                {"other", addons.platform().addAtom(QStringLiteral("Excel"))},
                                                {"none", 0}};
            QCOMPARE(log, (QStringList{"add atom Hullwright", "add atom system", "add atom Excel"}));
            log.clear();
            qintptr result = 42;
            QVERIFY(addons.onDdeInitiate({77, atoms.value(application) | (atoms.value(topic) << 16)}, &result));
            QCOMPARE(result, qintptr(0));
            QVERIFY(addons.onDdeTerminate({99, 5}, &result));
            QStringList ack{"add atom Hullwright", "add atom system", "ack 77: Hullwright system"};
            QCOMPARE(log, (answered ? ack : QStringList()) << QStringLiteral("end 99: 5"));
            log.clear();
        }
        // The atoms live until the integration ends.
        QCOMPARE(log, (QStringList{"delete atom Hullwright", "delete atom system"}));
    }

    void execute_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("effect");
        QTest::newRow("quoted path with blanks")
            << "[open(\"C:\\My Sheets\\level one.hws\")]" << "open C:\\My Sheets\\level one.hws";
        QTest::newRow("capitals") << "[OPEN(\"C:\\a.hws\")]" << "open C:\\a.hws";
        QTest::newRow("mixed case") << "[Open(\"a.hws\")]" << "open a.hws";
        QTest::newRow("empty path") << "[open(\"\")]" << "open ";
        QTest::newRow("unquoted path") << "[open(C:\\a.hws)]" << "unknown open C:\\a.hws";
        QTest::newRow("half quoted") << "[open(\"C:\\a.hws)]" << "unknown open \"C:\\a.hws";
        QTest::newRow("print") << "[print(\"C:\\a.hws\")]" << "";
        QTest::newRow("new") << "[NEW(\"C:\\a.hws\")]" << "";
        QTest::newRow("print unquoted") << "[print(a.hws)]" << "unknown print a.hws";
        QTest::newRow("unknown") << "[frobnicate(\"x\")]" << "unknown frobnicate \"x\"";
        QTest::newRow("text before") << "x[open(\"C:\\a.hws\")]" << "";
        QTest::newRow("blank before") << " [open(\"C:\\a.hws\")]" << "";
        QTest::newRow("text after") << "[open(\"C:\\a.hws\")]x" << "";
        QTest::newRow("line break after") << "[open(\"C:\\a.hws\")]\n" << "";
        QTest::newRow("no brackets") << "open(\"C:\\a.hws\")" << "";
        QTest::newRow("no name") << "[(\"C:\\a.hws\")]" << "";
        QTest::newRow("empty") << "" << "";
    }

    void execute()
    {
        QFETCH(QString, command);
        QFETCH(QString, effect);
        QStringList log;
        RecordingAddons addons(&log);
        addons.enableDde();
        addons.platform().command = command;
        log.clear();
        qintptr result = 42;
        QVERIFY(addons.onDdeExecute({88, 500}, &result));
        QCOMPARE(result, qintptr(0));
        // Acknowledged first, positively, whatever the text; then the command runs.
        QCOMPARE(log.value(0), QStringLiteral("ack 88: 500 501"));
        QCOMPARE(log.mid(1).join(QString()), effect);
    }

    void argumentsAndRequests()
    {
        QCOMPARE(GApplicationAddons::filesFromArguments({"hullwright"}), QStringList());
        QCOMPARE(GApplicationAddons::filesFromArguments({"hullwright", "a.hws", "-new", "b c.hws", "", "--", "-d.hws"}),
                 (QStringList{"a.hws", "b c.hws", "-d.hws"}));
        // A relative name is resolved against the directory it was given in.
        QCOMPARE(GApplicationAddons::openRequest(QStringLiteral("level.hws")),
                 QStringLiteral("[open(\"%1/level.hws\")]").arg(QDir::currentPath()));
        // The request built for a path with blanks and quotes opens exactly that path.
        QStringList log;
        RecordingAddons addons(&log);
        addons.executeRequest(GApplicationAddons::openRequest(QStringLiteral("/a \"b\"/c.hws")));
        QCOMPARE(log, QStringList{QStringLiteral("open /a \"b\"/c.hws")});
        // Queued requests wait for the event loop.
        addons.queueOpenRequests({QStringLiteral("/x/one.hws"), QStringLiteral("/x/two.hws")});
        QCOMPARE(log.size(), 1);
        QTRY_COMPARE(log.mid(1), (QStringList{"open /x/one.hws", "open /x/two.hws"}));
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QCoreApplication app(argc, argv);
    TestShellRegistration test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shellregistration.moc"
