#include "gapplicationaddons.h"

#include "gapplicationaddonsimpl.h"

namespace {
GApplicationAddons* s_instance = nullptr;
}

GApplicationAddons::GApplicationAddons()
    : GApplicationAddons(std::make_unique<GApplicationAddonsImpl>())
{
}

GApplicationAddons::GApplicationAddons(std::unique_ptr<GApplicationAddonsImpl> impl)
    : m_impl(std::move(impl))
{
    s_instance = this;
}

GApplicationAddons::~GApplicationAddons()
{
    if (s_instance == this)
        s_instance = nullptr;
}

GApplicationAddons* GApplicationAddons::instance()
{
    return s_instance;
}

bool GApplicationAddons::registerFileType(const QString& progId, const QString& description,
                                          const QString& extension, const QString& iconName, int iconIndex,
                                          bool useDde, int shellCommands)
{
    return m_impl->registerFileType(progId, description, extension, iconName, iconIndex, useDde, shellCommands);
}

void GApplicationAddons::enableDde()
{
    m_impl->enableDde();
}
