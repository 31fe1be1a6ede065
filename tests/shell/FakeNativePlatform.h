// A backend for the native core's tests whose "system" is a list of native
// events the test queues; the rest of the platform does nothing.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "backends/native/NativePlatform.h"

namespace velmora::testing {

// A backend whose "system" is a list of native events the test queues. Each
// event runs inside PumpNativeEvent, as a system callback would.
class FakeNativePlatform : public platform::NativePlatform {
public:
    // --- the fake system ---
    void QueueNative(std::function<void()> event) {
        std::lock_guard<std::mutex> lock(mutex_);
        native_.push_back(std::move(event));
        ready_.notify_all();
    }
    // A native event that posts a translated message, as a signal handler does.
    void QueueInput(platform::Message message) {
        QueueNative([this, message] { Post(message); });
    }
    void QueueFailingCallback(const char* what) {
        QueueNative([this, what] { Guarded([what] { throw std::runtime_error(what); }); });
    }
    // The native timer fires (inside the pump); ticks > 1: it fired that
    // often before the loop came round (a late timer).
    void FireNative(platform::TimerHandle timer, int ticks = 1) {
        QueueNative([this, timer, ticks] {
            for (int i = 0; i < ticks; ++i)
                if (!NativeTimerFired(timer)) stopped.push_back(timer), running.erase(timer);
        });
    }
    bool IsRunning(platform::TimerHandle timer) const { return running.count(timer) != 0; }
    using NativePlatform::EscapeAnswer;

    int pumps = 0;
    int wakes = 0;
    std::vector<platform::Message> delivered;
    std::vector<platform::WindowHandle> invalidated;
    std::map<platform::TimerHandle, unsigned> running;
    std::vector<platform::TimerHandle> stopped;
    bool refuseNativeTimers = false;

protected:
    bool PumpNativeEvent(bool mayBlock) override {
        std::function<void()> event;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (native_.empty()) {
                if (!mayBlock) return false;
                ready_.wait(lock, [this] { return !native_.empty() || woken_; });
                woken_ = false;
                if (native_.empty()) return true;
            }
            event = std::move(native_.front());
            native_.pop_front();
        }
        ++pumps;
        event();
        return true;
    }
    void WakeLoop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++wakes;
        woken_ = true;
        ready_.notify_all();
    }
    bool StartNativeTimer(platform::TimerHandle timer, unsigned intervalMs) override {
        if (refuseNativeTimers) return false;
        running[timer] = intervalMs;
        return true;
    }
    void StopNativeTimer(platform::TimerHandle timer) override {
        stopped.push_back(timer);
        running.erase(timer);
    }
    void DeliverToWindow(const platform::Message& message) override { delivered.push_back(message); }

public:
    // --- the rest of the interface: not the core's business ---
    void InitializeUiThread() override {}
    void MaskFloatingPointExceptions() override {}
    std::string ExecutablePath() override { return {}; }
    std::string UserDataFolder() override { return {}; }
    platform::CodeLocation LocateCode(const void*) override { return {}; }
    platform::OsVersion GetOsVersion() override { return {}; }
    platform::WindowHandle CreateNativeWindow(const platform::WindowCreateParams&, platform::IWindowEvents*) override {
        return 0;
    }
    void DestroyNativeWindow(platform::WindowHandle) override {}
    void SetWindowTitle(platform::WindowHandle, const std::string&) override {}
    platform::RectI GetWindowBounds(platform::WindowHandle) override { return {}; }
    platform::SizeI GetClientSize(platform::WindowHandle) override { return {}; }
    void SetClientSize(platform::WindowHandle, platform::SizeI) override {}
    void SetWindowBounds(platform::WindowHandle, const platform::RectI&) override {}
    void ShowWindow(platform::WindowHandle) override {}
    void HideWindow(platform::WindowHandle) override {}
    bool IsWindowVisible(platform::WindowHandle) override { return false; }
    void ActivateWindow(platform::WindowHandle) override {}
    platform::WindowHandle ActiveWindow() override { return 0; }
    void InvalidateWindow(platform::WindowHandle window) override { invalidated.push_back(window); }
    void SetMouseCapture(platform::WindowHandle) override {}
    void ReleaseMouseCapture() override {}
    int GetWindowDpi(platform::WindowHandle) override { return 96; }
    bool TouchAvailable() override { return false; }
    // Placements of child windows, as the engine core makes them.
    struct Placement {
        platform::WindowHandle window;
        platform::RectI rect;
        unsigned flags;
    };
    std::vector<Placement> placements;
    std::map<platform::WindowHandle, platform::WindowHandle> parents;
    void SetWindowPos(platform::WindowHandle window, const platform::RectI& rect, unsigned flags) override {
        placements.push_back({window, rect, flags});
    }
    void SetParentWindow(platform::WindowHandle child, platform::WindowHandle parent, bool) override {
        parents[child] = parent;
    }
    platform::WindowHandle GetParentWindow(platform::WindowHandle child) override {
        const auto found = parents.find(child);
        return found == parents.end() ? 0 : found->second;
    }
    std::uint64_t HighResolutionCounter() override { return 0; }
    std::uint64_t HighResolutionFrequency() override { return 1; }
    void YieldProcessor() override {}
    platform::MessageBoxResult ShowMessageBox(const platform::MessageBoxRequest& request) override {
        return EscapeAnswer(request.buttons);
    }
    std::unique_ptr<platform::ICanvas> CreateOffscreenCanvas(platform::SizeI, float) override { return nullptr; }
    std::unique_ptr<platform::IWebEngine> CreateWebEngine(platform::IWebEngineEvents&,
                                                          platform::EngineResult&) override {
        return nullptr;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> native_;
    bool woken_ = false;
};

}  // namespace velmora::testing
