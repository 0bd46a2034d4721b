#pragma once

#include <QObject>

// Measures start-up for benchmarks: when HULLWRIGHT_STARTUP_PROBE holds the
// launch time (nanoseconds since the epoch), the time until the first window
// is exposed on screen is printed and the program quits. With
// HULLWRIGHT_STARTUP_PROBE_LIST set as well, the time until the body list
// paints the bodies of the project opened from the command line.
class StartupProbe final : public QObject
{
    Q_OBJECT
public:
    static void installIfRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit StartupProbe(qint64 launchNs, QObject* parent);

    qint64 m_launchNs;
    bool m_untilBodyList;
    bool m_reported = false;
};
