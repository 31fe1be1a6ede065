// The UI thread's FIFO of translated messages. The window procedures turn
// native messages into platform::Message and append them here; the toolkit
// takes them through Platform::PeekMessage and hands them back to
// DispatchMessage, so its code never runs inside a system frame. Any thread
// may post a callback; only the UI thread takes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "platform/PlatformTypes.h"

namespace velmora::win32 {

class MessageFifo {
public:
    void Post(const platform::Message& message);
    // Only the latest state matters (pointer moves, moves, DPI changes): the
    // newest queued message of the same window is replaced when it has the
    // same kind; any other message of that window in between stops the search.
    void PostCoalesced(const platform::Message& message);
    // Queues an Invoke message carrying callback.
    void PostCallback(std::function<void()> callback);
    bool Take(platform::Message& message);
    // The callback of an Invoke message, once.
    std::function<void()> TakeCallback(std::uint64_t invokeId);
    bool Empty();
    std::size_t Size();

private:
    std::mutex mutex_;
    std::deque<platform::Message> messages_;
    std::map<std::uint64_t, std::function<void()>> callbacks_;
    std::uint64_t nextInvoke_ = 1;
};

}  // namespace velmora::win32
