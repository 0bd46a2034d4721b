#include "startupprobe.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>

StartupProbe::StartupProbe(qint64 launchNs, QObject* parent)
    : QObject(parent)
    , m_launchNs(launchNs)
    , m_untilBodyList(qEnvironmentVariableIsSet("HULLWRIGHT_STARTUP_PROBE_LIST"))
{
}

void StartupProbe::installIfRequested()
{
    bool ok = false;
    const qint64 launchNs = qEnvironmentVariable("HULLWRIGHT_STARTUP_PROBE").toLongLong(&ok);
    if (!ok || launchNs <= 0)
        return;
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new StartupProbe(launchNs, app));
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event)
{
    if (m_reported)
        return QObject::eventFilter(watched, event);
    bool shown = false;
    if (m_untilBodyList) {
        // The body list painting the rows of an opened project.
        auto* viewport = qobject_cast<QWidget*>(watched);
        auto* list = viewport ? qobject_cast<QAbstractItemView*>(viewport->parentWidget()) : nullptr;
        shown = event->type() == QEvent::Paint && list && list->objectName() == QLatin1String("elementList")
                && list->viewport() == viewport && list->model() && list->model()->rowCount() > 0;
    } else if (event->type() == QEvent::Expose) {
        auto* window = qobject_cast<QWindow*>(watched);
        shown = window && window->isExposed();
    }
    if (shown) {
        m_reported = true;
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        const qint64 nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
        std::printf("startup-ms %.1f\n", double(nowNs - m_launchNs) / 1e6);
        std::fflush(stdout);
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    }
    return QObject::eventFilter(watched, event);
}
