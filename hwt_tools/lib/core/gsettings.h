#pragma once

#include <QSettings>

// The one way settings are read and written. Create one on the stack for an
// operation and let it go out of scope; it selects the user scope and the
// organisation and application names set at start-up.
class GSettings : public QSettings
{
    Q_OBJECT
public:
    GSettings();
};
