#pragma once

#include "ddeshellintegration.h"

#include <memory>

class QAbstractNativeEventFilter;

// The Windows shell integration: the registration and the dynamic data
// exchange of DdeShellIntegration over the Win32 calls, and a native event
// filter that hands the exchange's messages to the application's facade.
class GApplicationAddonsImplWin final : public DdeShellIntegration
{
public:
    GApplicationAddonsImplWin();
    ~GApplicationAddonsImplWin() override;

    void enableDde() override;

private:
    std::unique_ptr<QAbstractNativeEventFilter> m_filter;
};
