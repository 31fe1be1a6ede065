#include "MessageFifo.h"

namespace velmora::platform {

void MessageFifo::Post(const Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
}

void MessageFifo::PostCoalesced(const Message& message) {
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

std::uint64_t MessageFifo::PostCallback(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    Message invoke;
    invoke.kind = MessageKind::Invoke;
    invoke.invokeId = nextInvoke_++;
    callbacks_.emplace(invoke.invokeId, std::move(callback));
    messages_.push_back(invoke);
    return invoke.invokeId;
}

bool MessageFifo::Take(Message& message) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.empty()) return false;
    message = messages_.front();
    messages_.pop_front();
    return true;
}

std::function<void()> MessageFifo::TakeCallback(std::uint64_t invokeId) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = callbacks_.find(invokeId);
    if (it == callbacks_.end()) return {};
    std::function<void()> callback = std::move(it->second);
    callbacks_.erase(it);
    return callback;
}

bool MessageFifo::Empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.empty();
}

std::size_t MessageFifo::Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
}

}  // namespace velmora::platform
