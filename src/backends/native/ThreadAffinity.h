// The thread an object belongs to: the one that made it. Calls that are sound
// only there check it in every build and raise the toolkit's error anywhere
// else, so a misuse fails where it happens instead of racing unseen.
#pragma once

#include <string>
#include <thread>

#include "base/Exceptions.h"

namespace velmora::platform {

class ThreadAffinity {
public:
    bool IsCurrent() const { return std::this_thread::get_id() == owner_; }

    // Raises EInvalidOperation, naming what was called, on any other thread.
    void Check(const char* what) const {
        if (!IsCurrent()) Raise(what);
    }

private:
    [[noreturn, gnu::noinline]] static void Raise(const char* what) {
        throw EInvalidOperation(FormatMessage("%s was called from a thread other than the event loop's", {what}),
                                __builtin_return_address(0));
    }

    std::thread::id owner_ = std::this_thread::get_id();
};

}  // namespace velmora::platform
