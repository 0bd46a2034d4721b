#include "testsupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace TestSupport {

namespace {
QTemporaryDir& settingsDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/hwt-test-settings-XXXXXX"));
    return dir;
}
}

void clickCheckBox(QCheckBox* box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect area = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, area.center());
}

void isolateSettings()
{
    const QString path = settingsDir().path();
    qputenv("XDG_CONFIG_HOME", path.toLocal8Bit());
    // The editor also registers itself with the desktop and listens for open
    // requests at start-up: those go to the temporary directory too.
    const QDir dir(path);
    dir.mkpath(QStringLiteral("data"));
    dir.mkpath(QStringLiteral("cache"));
    dir.mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.filePath(QStringLiteral("runtime")).toLocal8Bit());
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, path);
        QSettings::setPath(format, QSettings::SystemScope, path + QStringLiteral("/system"));
    }
}

void clearSettings()
{
    QSettings settings;
    settings.clear();
    settings.sync();
}

void chooseFile(QWidget* fileDialog, const QString& path)
{
    auto* dialog = qobject_cast<QFileDialog*>(fileDialog);
    QVERIFY2(dialog, "a file dialog was expected");
    // Typing the path is what a user does; selectFile() ignores paths in
    // directories the dialog has not listed yet.
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(path);
    static_cast<QDialog*>(dialog)->accept();
}

struct ModalHandler::State
{
    QList<Handler> handlers;
    int next = 0;
    int elapsedMs = 0;
    bool alive = true;
    QPointer<QWidget> last;
};

ModalHandler::ModalHandler(Handler handler)
    : ModalHandler(QList<Handler>{std::move(handler)})
{
}

ModalHandler::ModalHandler(const QList<Handler>& handlers)
    : m_state(std::make_shared<State>())
{
    m_state->handlers = handlers;
    auto* timer = new QTimer(qApp);
    std::shared_ptr<State> state = m_state;
    QObject::connect(timer, &QTimer::timeout, timer, [state, timer]() {
        state->elapsedMs += 10;
        if (!state->alive || state->elapsedMs > 20000) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == state->last)
            return;
        state->last = modal;
        QPointer<QWidget> guard(modal);
        // Handle from a queued call so that this timer keeps polling if the
        // handler itself ends up in a nested modal loop.
        QMetaObject::invokeMethod(
            timer,
            [state, guard]() {
                if (!guard)
                    return;
                if (state->alive && state->next < state->handlers.size())
                    state->handlers.at(state->next++)(guard);
                if (guard && QApplication::activeModalWidget() == guard) {
                    if (auto* dialog = qobject_cast<QDialog*>(guard.data()))
                        dialog->reject();
                    else
                        guard->close();
                }
            },
            Qt::QueuedConnection);
    });
    timer->start(10);
}

ModalHandler::~ModalHandler()
{
    m_state->alive = false;
}

bool ModalHandler::handled() const
{
    return m_state->next == m_state->handlers.size();
}


}
