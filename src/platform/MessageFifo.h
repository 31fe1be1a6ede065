// The UI thread's FIFO of translated messages and the callbacks that posted
// Invoke messages carry, for backends whose system events are turned into
// platform messages first, so toolkit code never runs inside a system frame.
// Any thread may post; the UI thread takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "PlatformTypes.h"

namespace velmora::platform {

class MessageFifo {
public:
    void Post(const Message& message);
    // For messages where only the latest state matters (pointer moves, moves,
    // DPI changes): when the newest queued message of the same window has the
    // same kind, it is replaced instead of adding another. Messages of other
    // windows in between don't count; any other message of the window does.
    void PostCoalesced(const Message& message);
    // Queues an Invoke message that carries callback; returns its id.
    std::uint64_t PostCallback(std::function<void()> callback);
    bool Take(Message& message);
    // The callback of an Invoke message, once; empty when already taken.
    std::function<void()> TakeCallback(std::uint64_t invokeId);
    bool Empty();
    std::size_t Size();

private:
    std::mutex mutex_;
    std::deque<Message> messages_;
    std::map<std::uint64_t, std::function<void()>> callbacks_;
    std::uint64_t nextInvoke_ = 1;
};

}  // namespace velmora::platform
