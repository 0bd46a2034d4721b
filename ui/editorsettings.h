#pragma once

#include <QObject>

// The editor preferences that running windows follow: each change is stored
// at once and announced, so open windows apply it without a restart.
class EditorSettings final : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultAutosaveMinutes = 2;
    static constexpr int maxAutosaveMinutes = 60;
    static constexpr int defaultImageMemoryMegabytes = 512;
    static constexpr int minImageMemoryMegabytes = 64;
    static constexpr int maxImageMemoryMegabytes = 8192;

    static EditorSettings& instance();

    // 0: no autosave.
    int autosaveMinutes() const;
    void setAutosaveMinutes(int minutes);

    int imageMemoryMegabytes() const;
    void setImageMemoryMegabytes(int megabytes);

signals:
    void autosaveMinutesChanged(int minutes);
    void imageMemoryMegabytesChanged(int megabytes);

private:
    EditorSettings() = default;
};
