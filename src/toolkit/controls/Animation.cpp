#include "Animation.h"

#include <algorithm>
#include <cmath>

#include "platform/Platform.h"

namespace velmora {

namespace {
constexpr unsigned kFrameRate = 60;
}

float RoundHalfEven(double value) {
    // nearbyint honours the current rounding mode, which is to-nearest-even
    // unless someone changed it; the toolkit never does.
    return static_cast<float>(std::nearbyint(value));
}

// ---------------------------------------------------------------------------
// AnimationClock

AnimationClock& AnimationClock::Instance() {
    static AnimationClock clock;
    return clock;
}

unsigned AnimationClock::IntervalMs() { return (1000 / kFrameRate / 10) * 10; }

bool AnimationClock::Contains(const TAnimation* animation) const {
    return std::any_of(running_.begin(), running_.end(), [&](const Entry& e) { return e.animation == animation; });
}

void AnimationClock::Add(TAnimation* animation) {
    if (Contains(animation)) return;
    running_.push_back({animation, nextSerial_++});
    if (timer_ == 0) StartTimer();
}

void AnimationClock::Remove(TAnimation* animation) {
    auto it = std::find_if(running_.begin(), running_.end(), [&](const Entry& e) { return e.animation == animation; });
    if (it == running_.end()) return;
    running_.erase(it);
    if (running_.empty()) StopTimer();
}

void AnimationClock::StartTimer() {
    auto& platform = platform::CurrentPlatform();
    lastCounter_ = platform.HighResolutionCounter();
    timer_ = platform.CreateTimer(IntervalMs(), true, [] { AnimationClock::Instance().Step(); });
}

void AnimationClock::StopTimer() {
    if (timer_ == 0) return;
    platform::TimerHandle timer = timer_;
    timer_ = 0;
    platform::CurrentPlatform().KillTimer(timer);
}

void AnimationClock::Step() {
    auto& platform = platform::CurrentPlatform();
    const std::uint64_t now = platform.HighResolutionCounter();
    const std::uint64_t ticks = now >= lastCounter_ ? now - lastCounter_ : 0;
    lastCounter_ = now;
    const std::uint64_t frequency = platform.HighResolutionFrequency();

    // Callbacks may start, stop or destroy animations: work on a snapshot and
    // skip entries that left the clock meanwhile (the serial tells a new
    // animation at a reused address from the one in the snapshot).
    const std::vector<Entry> snapshot = running_;
    for (auto it = snapshot.rbegin(); it != snapshot.rend(); ++it) {
        bool stillRunning = std::any_of(running_.begin(), running_.end(), [&](const Entry& e) {
            return e.animation == it->animation && e.serial == it->serial;
        });
        if (stillRunning) it->animation->Tick(ticks, frequency);
    }
}

// ---------------------------------------------------------------------------
// TAnimation

TAnimation::~TAnimation() {
    if (running_) AnimationClock::Instance().Remove(this);
}

double TAnimation::CurrentTime() const {
    double t = static_cast<double>(elapsedTicks_) / static_cast<double>(frequency_);
    return std::min(t, duration_);
}

void TAnimation::Start() {
    if (running_) Abandon();
    elapsedTicks_ = 0;
    frequency_ = std::max<std::uint64_t>(1, platform::CurrentPlatform().HighResolutionFrequency());
    Starting();
    running_ = true;
    ProcessAnimation(0);
    if (OnProcess) OnProcess();
    if (!running_) return;
    if (duration_ <= 0) {
        ProcessAnimation(1);
        if (OnProcess) OnProcess();
        if (running_) Finish();
        return;
    }
    AnimationClock::Instance().Add(this);
}

void TAnimation::Tick(std::uint64_t ticks, std::uint64_t frequency) {
    if (!running_) return;
    frequency_ = std::max<std::uint64_t>(1, frequency);
    elapsedTicks_ += ticks;
    const double t = static_cast<double>(elapsedTicks_) / static_cast<double>(frequency_);
    const bool done = t >= duration_;
    ProcessAnimation(done ? 1.0 : t / duration_);
    if (OnProcess) OnProcess();
    if (done && running_) Finish();
}

void TAnimation::Stop() {
    if (!running_) return;
    ProcessAnimation(1.0);
    if (OnProcess) OnProcess();
    if (running_) Finish();
}

void TAnimation::Abandon() {
    if (!running_) return;
    running_ = false;
    AnimationClock::Instance().Remove(this);
}

void TAnimation::Finish() {
    running_ = false;
    AnimationClock::Instance().Remove(this);
    if (OnFinish) OnFinish();
}

// ---------------------------------------------------------------------------
// TFloatAnimation

TFloatAnimation::TFloatAnimation(std::function<float()> getter, std::function<void(float)> setter)
    : getter_(std::move(getter)), setter_(std::move(setter)) {}

void TFloatAnimation::Starting() {
    if (startFromCurrent_) startValue_ = getter_();
    if (roundToWhole_) {
        startValue_ = RoundHalfEven(startValue_);
        stopValue_ = RoundHalfEven(stopValue_);
    }
}

void TFloatAnimation::ProcessAnimation(double normalizedTime) {
    const double start = startValue_;
    const double stop = stopValue_;
    double value = normalizedTime >= 1.0 ? stop : start + (stop - start) * normalizedTime;
    setter_(roundToWhole_ ? RoundHalfEven(value) : static_cast<float>(value));
}

}  // namespace velmora
