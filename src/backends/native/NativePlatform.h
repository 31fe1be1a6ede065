// What every backend that translates system events shares: the FIFO of
// translated messages, the timer table, the error guard and the queue calls
// built on them. The queue calls are final; a backend only supplies the hooks
// below, so the rules (FIFO order, one waiting message per timer, a killed
// timer never runs, an error kept by the guard is raised again at the next
// queue call, a bounded peek) hold alike on every system.
//
// Threads. The loop's thread is the thread that made the platform: the
// program makes it on the thread that then runs the loop, and a post from that
// thread wakes nothing (see WakeLoop). Any thread may post (PostCallback,
// PostQuitMessage, Post); taking, waiting, dispatching and the timer calls
// raise EInvalidOperation on any other thread, in every build, since a loop
// run elsewhere would sleep through the posts of the thread that made it.
//
// No system header here: the base builds and is tested without one.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <map>

#include "ThreadAffinity.h"
#include "platform/MessageFifo.h"
#include "platform/Platform.h"

namespace velmora::platform {

class NativePlatform : public Platform {
public:
    // --- the queue ---------------------------------------------------------
    // Pumps at most kPeekBudget native events while the FIFO is empty, so a
    // source that is always ready (a busy engine) cannot keep the toolkit
    // from its idle pass.
    bool PeekMessage(Message& message) final;
    void WaitMessage() final;
    void DispatchMessage(const Message& message) final;
    // Into the FIFO rather than the system's queue: a quit left pending there
    // would end the next modal loop (a message box during teardown) at once.
    void PostQuitMessage() final;
    // Any thread may post; a post from another thread wakes the loop.
    void PostCallback(std::function<void()> callback) final;

    // --- timers ------------------------------------------------------------
    TimerHandle CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) final;
    void KillTimer(TimerHandle timer) final;
    void RefuseTimers(bool refuse) final;

    // Runs f so that no C++ exception leaves it (it runs inside a system
    // frame); the first error is kept and raised again by the next PeekMessage,
    // WaitMessage or DispatchMessage.
    void Guarded(const std::function<void()>& f);

    // What the FIFO holds right now, without pumping.
    std::size_t QueuedMessageCount() { return fifo_.Size(); }

    static constexpr int kPeekBudget = 64;

protected:
    NativePlatform() = default;

    // Appends to the FIFO (waking the loop when posted from another thread).
    void Post(const Message& message);
    // For messages where only the latest state matters (see MessageFifo).
    void PostCoalesced(const Message& message);
    // Called by the backend when a native timer fires. Queues the timer's
    // message unless one is already waiting (a late timer does not pile up
    // messages). False: the native timer must stop now (a one-shot, or a timer
    // the table no longer knows); the base will not stop it again.
    bool NativeTimerFired(TimerHandle timer);
    // Stops every native timer and forgets the table (for destructors, while
    // the backend's hooks still work).
    void StopAllTimers();
    // The answer of a message box closed without a button (window manager,
    // Escape): the one that changes nothing.
    static MessageBoxResult EscapeAnswer(MessageBoxButtons buttons);

    // --- hooks, each backend's own -------------------------------------------
    // Pumps one native event. mayBlock: wait for one first when none is ready.
    // False only when nothing was ready and nothing was waited for.
    virtual bool PumpNativeEvent(bool mayBlock) = 0;
    // Gets a blocked PumpNativeEvent going again; called only from threads
    // other than the loop's. The loop's own thread needs no wake: a post from
    // there happens outside the wait or inside one pumped event, after which
    // the wait returns and finds the FIFO. An idle reader then wakes only for
    // its own timers.
    virtual void WakeLoop() = 0;
    // Starts a native timer that calls NativeTimerFired(timer) every
    // intervalMs; false when the system refuses one.
    virtual bool StartNativeTimer(TimerHandle timer, unsigned intervalMs) = 0;
    virtual void StopNativeTimer(TimerHandle timer) = 0;
    // Hands a window message (anything but Quit, Invoke, Timer and Paint) to
    // the window it names; a window that is gone drops it.
    virtual void DeliverToWindow(const Message& message) = 0;

private:
    struct TimerEntry {
        bool repeating = false;
        bool messageQueued = false;
        bool nativeRunning = true;
        std::function<void()> callback;
    };

    void RethrowPending();
    void WakeFromElsewhere();

    // The only state another thread may touch (PostCallback).
    MessageFifo fifo_;
    std::map<TimerHandle, TimerEntry> timers_;
    TimerHandle nextTimer_ = 1;
    bool refuseTimers_ = false;
    std::exception_ptr pending_;
    // The thread that made the platform, which runs its loop.
    const ThreadAffinity loopThread_;
};

}  // namespace velmora::platform
