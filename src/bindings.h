// Which handler each event of the window runs: the one binding table.
#pragma once

#include <span>

#include "app/shell.h"

namespace cdk {

std::span<const Binding> HandlerBindings();

} // namespace cdk
