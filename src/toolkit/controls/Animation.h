// Time-based animations. Every running animation is advanced by one shared
// repeating UI-thread timer, so all of them see the same time increments and
// movements started in the same call end on the same step.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/PlatformTypes.h"

namespace velmora {

class TAnimation;

// The one timer behind all animations. It exists only while at least one
// animation runs.
class AnimationClock {
public:
    static AnimationClock& Instance();

    // 1000 / 60 ms, cut to whole tens of milliseconds.
    static unsigned IntervalMs();

    void Add(TAnimation* animation);
    void Remove(TAnimation* animation);
    bool Contains(const TAnimation* animation) const;
    bool TimerActive() const { return timer_ != 0; }
    int RunningCount() const { return static_cast<int>(running_.size()); }

    // One timer step: the real time since the previous step goes to every
    // running animation, the most recently started first.
    void Step();

private:
    AnimationClock() = default;
    void StartTimer();
    void StopTimer();

    struct Entry {
        TAnimation* animation;
        std::uint64_t serial;
    };
    std::vector<Entry> running_;
    std::uint64_t nextSerial_ = 1;
    platform::TimerHandle timer_ = 0;
    std::uint64_t lastCounter_ = 0;
};

enum class TAnimationType { In, Out, InOut };
enum class TInterpolationType { Linear };

// Base of all animations: duration, elapsed time and the step callbacks.
class TAnimation {
public:
    TAnimation() = default;
    virtual ~TAnimation();
    TAnimation(const TAnimation&) = delete;
    TAnimation& operator=(const TAnimation&) = delete;

    double Duration() const { return duration_; }
    void SetDuration(double seconds) { duration_ = seconds; }
    TAnimationType AnimationType() const { return animationType_; }
    void SetAnimationType(TAnimationType type) { animationType_ = type; }
    TInterpolationType Interpolation() const { return interpolation_; }
    void SetInterpolation(TInterpolationType type) { interpolation_ = type; }

    bool Running() const { return running_; }
    // Seconds since the start, summed from the clock's steps, capped at the duration.
    double CurrentTime() const;

    // Applies the start value and joins the shared clock.
    void Start();
    // Leaves the clock after putting the animated value at its end; the
    // finishing callback runs as on a natural end.
    void Stop();
    // Leaves the clock where it stands, without any callback (used when the
    // animated object goes away).
    void Abandon();

    // Runs after each step's value has been applied (also the starting one).
    std::function<void()> OnProcess;
    // Runs once when the animation ends, naturally or by Stop.
    std::function<void()> OnFinish;

    // Advances by elapsed counter ticks; called by the clock.
    void Tick(std::uint64_t ticks, std::uint64_t frequency);

protected:
    // Takes what the animation needs from its target before the first value.
    virtual void Starting() {}
    // Applies the value for the normalised time 0..1.
    virtual void ProcessAnimation(double normalizedTime) = 0;

private:
    void Finish();

    double duration_ = 0.2;
    TAnimationType animationType_ = TAnimationType::In;
    TInterpolationType interpolation_ = TInterpolationType::Linear;
    bool running_ = false;
    // Time is summed in counter ticks so that steps adding up to the duration
    // reach it exactly.
    std::uint64_t elapsedTicks_ = 0;
    std::uint64_t frequency_ = 1;
};

// Moves one float value from a start to an end value. With RoundToWhole the
// values and every intermediate one are whole numbers, halves to even.
class TFloatAnimation : public TAnimation {
public:
    TFloatAnimation(std::function<float()> getter, std::function<void(float)> setter);

    float StartValue() const { return startValue_; }
    float StopValue() const { return stopValue_; }
    // Start from the value the target holds when the animation starts.
    void SetStartFromCurrent(bool v) { startFromCurrent_ = v; }
    void SetStartValue(float v) { startValue_ = v; startFromCurrent_ = false; }
    void SetStopValue(float v) { stopValue_ = v; }
    void SetRoundToWhole(bool v) { roundToWhole_ = v; }

protected:
    void Starting() override;
    void ProcessAnimation(double normalizedTime) override;

private:
    std::function<float()> getter_;
    std::function<void(float)> setter_;
    float startValue_ = 0;
    float stopValue_ = 0;
    bool startFromCurrent_ = true;
    bool roundToWhole_ = false;
};

// Rounds to the nearest whole number, halves to even.
float RoundHalfEven(double value);

}  // namespace velmora
