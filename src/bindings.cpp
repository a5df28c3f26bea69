// The one binding table. Every other event of the window goes unhandled.
#include "bindings.h"

#include "retrieval/handlers.h"

namespace cdk {

namespace {
constexpr Binding kBindings[] = {
    {EventKind::kCreated, {}, HandleWindowCreated},
    {EventKind::kClick, Control::按钮1, HandleGetClick},
    {EventKind::kClick, Control::按钮2, HandleCopyClick},
    {EventKind::kClick, Control::按钮3, HandleUpdateClick},
    {EventKind::kTick, {}, HandlePollTick},
};
} // namespace

std::span<const Binding> HandlerBindings() { return kBindings; }

} // namespace cdk
