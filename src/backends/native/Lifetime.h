// A backend object's callbacks wait in the event queue; by the time they run
// the object may be gone, or closed and opened again for another page. Each
// callback is posted guarded by the life it was posted in and does nothing
// once that life has ended.
//
// For the event loop's thread alone, the thread that makes it: a life ended
// on one thread while a guarded call runs on another would let the call use
// what is being destroyed. Renewing, guarding and running a guarded call
// raise EInvalidOperation on any other thread, in every build; the object
// must also be destroyed there.
#pragma once

#include <memory>
#include <utility>

#include "ThreadAffinity.h"

namespace velmora::platform {

class Lifetime {
public:
    // Ends the current life: everything guarded so far is dropped. The
    // object's destruction ends it as well.
    void Renew() {
        thread_.Check("Lifetime::Renew");
        token_ = std::make_shared<char>();
    }

    // f, run only while the life it was guarded in lasts.
    template <class F>
    auto Guard(F f) const {
        thread_.Check("Lifetime::Guard");
        return [life = std::weak_ptr<const char>(token_), thread = thread_, f = std::move(f)]() mutable {
            thread.Check("A call guarded by a Lifetime");
            if (!life.expired()) f();
        };
    }

private:
    ThreadAffinity thread_;
    std::shared_ptr<const char> token_ = std::make_shared<char>();
};

}  // namespace velmora::platform
