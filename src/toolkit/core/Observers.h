// Observers that sign up with a token: the subscription lasts as long as the
// token, and ends when it is reset or destroyed. Nothing compares callables,
// so the same function may be subscribed twice and each token still removes
// only its own entry. The list may go first; its tokens then remove nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace velmora {

class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            Reset();
            cancel_ = std::exchange(other.cancel_, nullptr);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { Reset(); }

    void Reset() {
        if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
    }
    explicit operator bool() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

// For the loop's thread only.
template <class... Args>
class ObserverList {
public:
    [[nodiscard]] Subscription Subscribe(std::function<void(Args...)> observer) {
        const std::uint64_t id = state_->next++;
        state_->observers.emplace(id, std::move(observer));
        return Subscription([weak = std::weak_ptr<State>(state_), id] {
            if (auto state = weak.lock()) state->observers.erase(id);
        });
    }

    // Each observer subscribed when the notification starts and still
    // subscribed when its turn comes, in the order they subscribed. An
    // observer may subscribe or unsubscribe any of them, itself included.
    void Notify(Args... args) {
        const std::shared_ptr<State> state = state_;
        std::vector<std::uint64_t> ids;
        ids.reserve(state->observers.size());
        for (const auto& entry : state->observers) ids.push_back(entry.first);
        for (std::uint64_t id : ids) {
            auto it = state->observers.find(id);
            if (it == state->observers.end()) continue;
            // Called from a copy: unsubscribing inside must not free the callable.
            std::function<void(Args...)> observer = it->second;
            if (observer) observer(args...);
        }
    }

    bool Empty() const { return state_->observers.empty(); }

private:
    struct State {
        std::uint64_t next = 1;
        std::map<std::uint64_t, std::function<void(Args...)>> observers;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace velmora
