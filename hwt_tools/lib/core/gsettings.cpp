#include "gsettings.h"

GSettings::GSettings()
    : QSettings()
{
}
