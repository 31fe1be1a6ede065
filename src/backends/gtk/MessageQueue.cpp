#include "MessageQueue.h"

namespace velmora::gtk {

void MessageQueue::Post(const platform::Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
}

void MessageQueue::PostCoalesced(const platform::Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = messages_.rbegin(); it != messages_.rend(); ++it) {
        if (it->window != message.window) continue;
        if (it->kind == message.kind) {
            *it = message;
            return;
        }
        break;
    }
    messages_.push_back(message);
}

std::uint64_t MessageQueue::PostCallback(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    platform::Message invoke;
    invoke.kind = platform::MessageKind::Invoke;
    invoke.invokeId = nextInvoke_++;
    callbacks_.emplace(invoke.invokeId, std::move(callback));
    messages_.push_back(invoke);
    return invoke.invokeId;
}

bool MessageQueue::Take(platform::Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.empty()) return false;
    message = messages_.front();
    messages_.pop_front();
    return true;
}

std::function<void()> MessageQueue::TakeCallback(std::uint64_t invokeId) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = callbacks_.find(invokeId);
    if (it == callbacks_.end()) return {};
    std::function<void()> callback = std::move(it->second);
    callbacks_.erase(it);
    return callback;
}

bool MessageQueue::Empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.empty();
}

std::size_t MessageQueue::Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

}  // namespace velmora::gtk
