// Autosave of unsaved work into the recovery store, what a later start finds
// there, and the preferences that steer it.
#include "editorsettings.h"
#include "elementlistmodel.h"
#include "gaction.h"
#include "imagecache.h"
#include "mainwindow.h"
#include "modeltestsupport.h"
#include "preferences.h"
#include "recoverystore.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QMessageBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

class AutosaveTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    static QStringList recoveryFiles(const QString& directory = RecoveryStore::defaultDirectory())
    {
        return QDir(directory).entryList(QDir::Files, QDir::Name);
    }
    QString image(const QString& name) { return ModelTest::makeImage(QDir(m_dir->path()), "images/" + name, 8, 6); }

    // A saved project of one body.
    QString saveProject(const QString& name)
    {
        ElementListModel document;
        ModelTest::addBody(document, image("crate.png"));
        const QString path = m_dir->filePath(name);
        return document.save(path) ? path : QString();
    }

    // The project open in a window that autosaves every few milliseconds.
    std::unique_ptr<MainWindow> openWindow(const QString& project)
    {
        auto window = std::make_unique<MainWindow>();
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
        if (!project.isEmpty() && window->loadFile(project))
            window->setFileName(project);
        window->setAutosaveIntervalMs(10);
        return window;
    }

    // An unsaved change to a loaded project.
    static void change(ElementListModel& document, const QString& name = QStringLiteral("renamed"))
    {
        document.element(0)->setValue(QStringLiteral("name"), name);
    }

    static QString describeCopy(const QString& projectFile)
    {
        ElementListModel copy;
        return copy.load(projectFile) ? ModelTest::describe(copy) : QStringLiteral("unreadable");
    }

private slots:
    void init()
    {
        TestSupport::clearSettings();
        QDir(RecoveryStore::defaultDirectory()).removeRecursively();
        m_dir = std::make_unique<QTemporaryDir>();
    }

    void copyIsTheDocumentAndLeavesItAlone()
    {
        const QString project = saveProject(QStringLiteral("level.hws"));
        ElementListModel document;
        QVERIFY(document.load(project));
        change(document);
        QVERIFY(document.isModified());
        const QByteArray saved = ModelTest::readFile(project);

        const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
        const QString directory = m_dir->filePath(QStringLiteral("data/recovery"));
        RecoveryStore store(directory);
        QVERIFY(store.write(document, project));
        store.flush();
        const QDateTime after = QDateTime::currentDateTimeUtc().addMSecs(1);

        // The user's file, name and modified flag stay as they were.
        QCOMPARE(ModelTest::readFile(project), saved);
        QVERIFY(document.isModified());
        QCOMPARE(document.fileName(), project);
        QVERIFY(store.projectFile().startsWith(directory + '/'));
        // The copy is the document, its images found from the copy's folder.
        QCOMPARE(describeCopy(store.projectFile()), ModelTest::describe(document));

        const QJsonObject sidecar = QJsonDocument::fromJson(ModelTest::readFile(store.sidecarFile())).object();
        QCOMPARE(sidecar.value("fileName").toString(), project);
        QCOMPARE(sidecar.value("pid").toVariant().toLongLong(), QCoreApplication::applicationPid());
        const QString written = sidecar.value("written").toString();
        QVERIFY2(written.endsWith('Z'), qPrintable(written));
        const QDateTime time = QDateTime::fromString(written, Qt::ISODateWithMs);
        QVERIFY2(time >= before && time <= after, qPrintable(written));

        // A copy next to the project holds exactly what saving there writes.
        QVERIFY(document.writeCopy(m_dir->filePath("copy.hws")));
        QVERIFY(document.save(m_dir->filePath("saved.hws")));
        QCOMPARE(ModelTest::readFile(m_dir->filePath("copy.hws")), ModelTest::readFile(m_dir->filePath("saved.hws")));
        QCOMPARE(document.fileName(), m_dir->filePath("saved.hws"));

        store.remove();
        QCOMPARE(recoveryFiles(directory), QStringList());
    }

    void onlyEntriesOfEditorsNoLongerRunningAreOffered()
    {
        const QString directory = m_dir->filePath(QStringLiteral("recovery"));
        ElementListModel running, ended;
        QVERIFY(running.load(saveProject("running.hws")) && ended.load(saveProject("ended.hws")));
        change(running);
        change(ended, QStringLiteral("ended"));
        RecoveryStore live(directory);
        QVERIFY(live.write(running, QString()));
        live.flush();
        // However long an editor runs, its entry is its own.
        const QString lockFile = QFileInfo(live.projectFile()).path() + '/' +
                                 QFileInfo(live.projectFile()).completeBaseName() + ".lock";
        QFile lock(lockFile);
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
        lock.close();
        QCOMPARE(RecoveryStore::abandonedEntries(directory).size(), 0);

        auto gone = std::make_unique<RecoveryStore>(directory);
        QVERIFY(gone->write(ended, m_dir->filePath("ended.hws")));
        gone->flush();
        const QString goneProject = gone->projectFile();
        gone.reset();  // its editor ended without closing the document

        QList<RecoveryStore::Entry> entries = RecoveryStore::abandonedEntries(directory);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().projectFile, goneProject);
        QCOMPARE(entries.first().originalFileName, m_dir->filePath("ended.hws"));
        QCOMPARE(entries.first().processId, QCoreApplication::applicationPid());
        QVERIFY(qAbs(entries.first().written.secsTo(QDateTime::currentDateTimeUtc())) < 60);
        // While one start handles an entry, no other offers it.
        QCOMPARE(RecoveryStore::abandonedEntries(directory).size(), 0);

        std::unique_ptr<ElementListModel> recovered = RecoveryStore::read(entries.first());
        QVERIFY(recovered && recovered->isModified());
        QCOMPARE(ModelTest::describe(*recovered), ModelTest::describe(ended));

        // Later: let go, and the next start finds it again.
        entries.clear();
        entries = RecoveryStore::abandonedEntries(directory);
        QCOMPARE(entries.size(), 1);
        // Discard: gone for good; the running editor's entry stays.
        RecoveryStore::discard(entries.first());
        QCOMPARE(RecoveryStore::abandonedEntries(directory).size(), 0);
        QVERIFY(!QFileInfo::exists(goneProject));
        QVERIFY(QFileInfo::exists(live.projectFile()) && QFileInfo::exists(live.sidecarFile()));
    }

    void unreadableCopyIsReportedNotOpened()
    {
        const QString directory = m_dir->filePath(QStringLiteral("recovery"));
        ElementListModel document;
        auto store = std::make_unique<RecoveryStore>(directory);
        QVERIFY(store->write(document, QString()));
        store->flush();
        QVERIFY(ModelTest::writeFile(store->projectFile(), "not a project at all"));
        store.reset();
        const QList<RecoveryStore::Entry> entries = RecoveryStore::abandonedEntries(directory);
        QCOMPARE(entries.size(), 1);
        QString problem;
        QVERIFY(!RecoveryStore::read(entries.first(), &problem));
        QVERIFY(!problem.isEmpty());
    }

    void autosaveCopiesOnlyUnsavedWork()
    {
        const QString project = saveProject(QStringLiteral("level.hws"));
        const QByteArray saved = ModelTest::readFile(project);
        auto window = openWindow(project);
        QTest::qWait(100);
        QCOMPARE(recoveryFiles(), QStringList());

        change(*window->model());
        QTRY_VERIFY(QFileInfo::exists(window->recoveryStore()->sidecarFile()));
        QCOMPARE(describeCopy(window->recoveryStore()->projectFile()), ModelTest::describe(*window->model()));
        QCOMPARE(ModelTest::readFile(project), saved);
        QCOMPARE(window->fileName(), project);
        QVERIFY(window->isModified() && window->isWindowModified());

        // Saved, nothing unsaved remains to copy.
        window->saveAction()->trigger();
        QVERIFY(!window->isModified());
        QCOMPARE(recoveryFiles(), QStringList());
        QTest::qWait(100);
        QCOMPARE(recoveryFiles(), QStringList());
        QVERIFY(ModelTest::readFile(project) != saved);
    }

    void closingRemovesTheCopyUnlessCancelled_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("save") << int(QMessageBox::Save) << true;
        QTest::newRow("discard") << int(QMessageBox::Discard) << true;
        QTest::newRow("cancel") << int(QMessageBox::Cancel) << false;
    }

    void closingRemovesTheCopyUnlessCancelled()
    {
        QFETCH(int, answer);
        QFETCH(bool, closed);
        const QString project = saveProject(QStringLiteral("level.hws"));
        auto window = openWindow(project);
        change(*window->model());
        QTRY_VERIFY(QFileInfo::exists(window->recoveryStore()->sidecarFile()));
        const QStringList copies = recoveryFiles();
        QCOMPARE(copies.size(), 3);

        TestSupport::ModalHandler handler([answer](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            box->button(QMessageBox::StandardButton(answer))->click();
        });
        window->close();
        QVERIFY(handler.handled());
        QCOMPARE(window->isVisible(), !closed);
        QCOMPARE(recoveryFiles(), closed ? QStringList() : copies);
        if (answer == QMessageBox::Save)
            QCOMPARE(describeCopy(project), ModelTest::describe(*window->model()));
    }

    void preferencesReachRunningEditors()
    {
        auto window = openWindow(saveProject(QStringLiteral("level.hws")));
        Preferences preferences;
        auto* autosave = preferences.findChild<QSpinBox*>(QStringLiteral("autosaveSpinBox"));
        auto* memory = preferences.findChild<QSpinBox*>(QStringLiteral("imageMemorySpinBox"));
        QVERIFY(autosave && memory);

        // Off: unsaved work is no longer copied.
        autosave->setValue(0);
        QCOMPARE(window->autosaveIntervalMs(), 0);
        change(*window->model());
        QTest::qWait(100);
        QCOMPARE(recoveryFiles(), QStringList());

        autosave->setValue(7);
        QCOMPARE(window->autosaveIntervalMs(), 7 * 60 * 1000);
        // Stored: a window opened later and the dialog opened again show it.
        QCOMPARE(MainWindow().autosaveIntervalMs(), 7 * 60 * 1000);
        QCOMPARE(Preferences().findChild<QSpinBox*>(QStringLiteral("autosaveSpinBox"))->value(), 7);

        memory->setValue(1536);
        QCOMPARE(ImageCache::budgetMegabytes(), 1536);
        ImageCache::setBudgetMegabytes(64);
        Preferences::applyImageMemorySetting();
        QCOMPARE(ImageCache::budgetMegabytes(), 1536);
        QCOMPARE(Preferences().findChild<QSpinBox*>(QStringLiteral("imageMemorySpinBox"))->value(), 1536);
    }
};

int main(int argc, char** argv)
{
    TestSupport::isolateSettings();
    QApplication app(argc, argv);
    AutosaveTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_autosave.moc"
