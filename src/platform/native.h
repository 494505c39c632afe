#pragma once

#include <memory>

#include "platform/platform.h"

namespace nuvra {

// The platform this executable was built for. Cheap: connections to the
// desktop are made on first use.
std::unique_ptr<Platform> makeNativePlatform();

}  // namespace nuvra
