#include "platformaddons.h"

#include <QtGlobal>

#if defined(Q_OS_WIN)
#include "gapplicationaddonsimplwin.h"
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include "gapplicationaddonsimplxdg.h"
#else
#include "gapplicationaddonsimpl.h"
#endif

std::unique_ptr<GApplicationAddonsImpl> createPlatformAddonsImpl()
{
#if defined(Q_OS_WIN)
    return std::make_unique<GApplicationAddonsImplWin>();
#elif defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return std::make_unique<GApplicationAddonsImplXdg>();
#else
    return std::make_unique<GApplicationAddonsImpl>();
#endif
}
