// A backend object's callbacks wait in the event queue; by the time they run
// the object may be gone, or closed and opened again for another page. Each
// callback is posted guarded by the life it was posted in and does nothing
// once that life has ended.
#pragma once

#include <memory>
#include <utility>

namespace velmora::platform {

class Lifetime {
public:
    // Ends the current life: everything guarded so far is dropped. The
    // object's destruction ends it as well.
    void Renew() { token_ = std::make_shared<char>(); }

    // f, run only while the life it was guarded in lasts.
    template <class F>
    auto Guard(F f) const {
        return [life = std::weak_ptr<const char>(token_), f = std::move(f)]() mutable {
            if (!life.expired()) f();
        };
    }

private:
    std::shared_ptr<const char> token_ = std::make_shared<char>();
};

}  // namespace velmora::platform
