#include "NativePlatform.h"

#include <utility>

namespace velmora::platform {

void NativePlatform::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (...) {
        if (!pending_) pending_ = std::current_exception();
    }
}

void NativePlatform::RethrowPending() {
    if (!pending_) return;
    std::exception_ptr error = std::exchange(pending_, nullptr);
    std::rethrow_exception(error);
}

void NativePlatform::WakeFromElsewhere() {
    if (!loopThread_.IsCurrent()) WakeLoop();
}

void NativePlatform::Post(const Message& message) {
    fifo_.Post(message);
    WakeFromElsewhere();
}

void NativePlatform::PostCoalesced(const Message& message) {
    fifo_.PostCoalesced(message);
    WakeFromElsewhere();
}

bool NativePlatform::PeekMessage(Message& message) {
    loopThread_.Check("PeekMessage");
    RethrowPending();
    for (int budget = kPeekBudget; budget > 0 && fifo_.Empty() && !pending_; --budget)
        if (!PumpNativeEvent(false)) break;
    RethrowPending();
    return fifo_.Take(message);
}

void NativePlatform::WaitMessage() {
    loopThread_.Check("WaitMessage");
    RethrowPending();
    while (fifo_.Empty() && !pending_) PumpNativeEvent(true);
    RethrowPending();
}

void NativePlatform::PostQuitMessage() { Post({.kind = MessageKind::Quit}); }

void NativePlatform::PostCallback(std::function<void()> callback) {
    fifo_.PostCallback(std::move(callback));
    WakeFromElsewhere();
}

void NativePlatform::DispatchMessage(const Message& message) {
    loopThread_.Check("DispatchMessage");
    RethrowPending();
    switch (message.kind) {
    case MessageKind::Quit:
        return;
    case MessageKind::Invoke:
        if (std::function<void()> callback = fifo_.TakeCallback(message.invokeId)) callback();
        return;
    case MessageKind::Timer: {
        auto it = timers_.find(message.timer);
        if (it == timers_.end()) return;  // killed after its message was queued
        it->second.messageQueued = false;
        // The callback may kill or create timers: the entry may be gone
        // while it runs, so it runs from a copy.
        std::function<void()> callback = it->second.callback;
        if (!it->second.repeating) timers_.erase(it);
        if (callback) callback();
        return;
    }
    case MessageKind::Paint:
        InvalidateWindow(message.window);
        return;
    default:
        DeliverToWindow(message);
        return;
    }
}

TimerHandle NativePlatform::CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) {
    loopThread_.Check("CreateTimer");
    if (refuseTimers_) return 0;
    const TimerHandle handle = nextTimer_++;
    timers_[handle] = {.repeating = repeating, .callback = std::move(callback)};
    if (!StartNativeTimer(handle, intervalMs)) {
        timers_.erase(handle);
        return 0;
    }
    return handle;
}

void NativePlatform::KillTimer(TimerHandle timer) {
    loopThread_.Check("KillTimer");
    auto it = timers_.find(timer);
    if (it == timers_.end()) return;
    const bool running = it->second.nativeRunning;
    timers_.erase(it);
    if (running) StopNativeTimer(timer);
}

bool NativePlatform::NativeTimerFired(TimerHandle timer) {
    auto it = timers_.find(timer);
    if (it == timers_.end()) return false;
    TimerEntry& entry = it->second;
    if (!entry.messageQueued) {
        entry.messageQueued = true;
        Post({.kind = MessageKind::Timer, .timer = timer});
    }
    if (entry.repeating) return true;
    entry.nativeRunning = false;
    return false;
}

void NativePlatform::RefuseTimers(bool refuse) {
    loopThread_.Check("RefuseTimers");
    refuseTimers_ = refuse;
    if (refuse) StopAllTimers();
}

void NativePlatform::StopAllTimers() {
    auto timers = std::exchange(timers_, {});
    for (const auto& [handle, entry] : timers)
        if (entry.nativeRunning) StopNativeTimer(handle);
}

MessageBoxResult NativePlatform::EscapeAnswer(MessageBoxButtons buttons) {
    switch (buttons) {
    case MessageBoxButtons::Ok:
        return MessageBoxResult::Ok;
    case MessageBoxButtons::YesNo:
        return MessageBoxResult::No;
    case MessageBoxButtons::OkCancel:
        break;
    }
    return MessageBoxResult::Cancel;
}

}  // namespace velmora::platform
