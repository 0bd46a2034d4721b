#pragma once

#include <memory>

class GApplicationAddonsImpl;

// The shell integration of the platform the program was built for.
std::unique_ptr<GApplicationAddonsImpl> createPlatformAddonsImpl();
