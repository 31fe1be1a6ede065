#include "ToolkitPlatform.h"

namespace velmora {

platform::TimerHandle ToolkitPlatform::CreateTimer(unsigned intervalMs, bool repeating,
                                                   std::function<void()> callback) {
    if (refuseTimers_) return 0;
    platform::TimerHandle handle = backend_.CreateTimer(intervalMs, repeating, std::move(callback));
    if (handle) {
        timers_.insert(handle);
        if (!repeating) oneShots_.insert(handle);
    }
    return handle;
}

void ToolkitPlatform::KillTimer(platform::TimerHandle timer) {
    timers_.erase(timer);
    oneShots_.erase(timer);
    backend_.KillTimer(timer);
}

void ToolkitPlatform::DispatchMessage(const platform::Message& m) {
    // A one-shot timer is spent once its message has been handed out; forget
    // it so the bookkeeping does not grow with every idle pass.
    if (m.kind == platform::MessageKind::Timer && oneShots_.erase(m.timer)) timers_.erase(m.timer);
    backend_.DispatchMessage(m);
}

void ToolkitPlatform::RemoveAllTimersAndRefuseNew() {
    refuseTimers_ = true;
    auto timers = std::move(timers_);
    timers_.clear();
    oneShots_.clear();
    for (platform::TimerHandle t : timers) backend_.KillTimer(t);
}

}  // namespace velmora
