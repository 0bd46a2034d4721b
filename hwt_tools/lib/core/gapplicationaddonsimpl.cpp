#include "gapplicationaddonsimpl.h"

GApplicationAddonsImpl::~GApplicationAddonsImpl() = default;

bool GApplicationAddonsImpl::registerFileType(const QString&, const QString&, const QString&, const QString&, int,
                                              bool, int)
{
    return true;
}

void GApplicationAddonsImpl::enableDde()
{
}
