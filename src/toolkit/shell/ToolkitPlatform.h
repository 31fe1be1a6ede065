// The platform as the toolkit hands it out: every call goes to the backend,
// but the timers the program creates are counted here, so that termination
// can remove all of them at once and refuse new ones (no animation or update
// may fire while the application winds down).
#pragma once

#include <set>

#include "platform/Platform.h"

namespace velmora {

class ToolkitPlatform : public platform::Platform {
public:
    explicit ToolkitPlatform(platform::Platform& backend) : backend_(backend) {}

    // Kills every live timer created through this object; from then on
    // CreateTimer answers 0 (no timer).
    void RemoveAllTimersAndRefuseNew();

    void InitializeUiThread() override { backend_.InitializeUiThread(); }
    void MaskFloatingPointExceptions() override { backend_.MaskFloatingPointExceptions(); }
    std::string ExecutablePath() override { return backend_.ExecutablePath(); }
    std::string UserDataFolder() override { return backend_.UserDataFolder(); }
    platform::CodeLocation LocateCode(const void* address) override { return backend_.LocateCode(address); }
    platform::OsVersion GetOsVersion() override { return backend_.GetOsVersion(); }

    platform::WindowHandle CreateNativeWindow(const platform::WindowCreateParams& params,
                                              platform::IWindowEvents* events) override {
        return backend_.CreateNativeWindow(params, events);
    }
    void DestroyNativeWindow(platform::WindowHandle w) override { backend_.DestroyNativeWindow(w); }
    void SetWindowTitle(platform::WindowHandle w, const std::string& title) override {
        backend_.SetWindowTitle(w, title);
    }
    platform::RectI GetWindowBounds(platform::WindowHandle w) override { return backend_.GetWindowBounds(w); }
    platform::SizeI GetClientSize(platform::WindowHandle w) override { return backend_.GetClientSize(w); }
    void SetClientSize(platform::WindowHandle w, platform::SizeI size) override { backend_.SetClientSize(w, size); }
    void SetWindowBounds(platform::WindowHandle w, const platform::RectI& b) override {
        backend_.SetWindowBounds(w, b);
    }
    void ShowWindow(platform::WindowHandle w) override { backend_.ShowWindow(w); }
    void HideWindow(platform::WindowHandle w) override { backend_.HideWindow(w); }
    bool IsWindowVisible(platform::WindowHandle w) override { return backend_.IsWindowVisible(w); }
    void ActivateWindow(platform::WindowHandle w) override { backend_.ActivateWindow(w); }
    platform::WindowHandle ActiveWindow() override { return backend_.ActiveWindow(); }
    void InvalidateWindow(platform::WindowHandle w) override { backend_.InvalidateWindow(w); }
    void SetMouseCapture(platform::WindowHandle w) override { backend_.SetMouseCapture(w); }
    void ReleaseMouseCapture() override { backend_.ReleaseMouseCapture(); }
    int GetWindowDpi(platform::WindowHandle w) override { return backend_.GetWindowDpi(w); }
    bool TouchAvailable() override { return backend_.TouchAvailable(); }

    void SetWindowPos(platform::WindowHandle w, const platform::RectI& r, unsigned flags) override {
        backend_.SetWindowPos(w, r, flags);
    }
    void SetParentWindow(platform::WindowHandle child, platform::WindowHandle parent, bool toBottom) override {
        backend_.SetParentWindow(child, parent, toBottom);
    }
    platform::WindowHandle GetParentWindow(platform::WindowHandle child) override {
        return backend_.GetParentWindow(child);
    }

    bool PeekMessage(platform::Message& m) override { return backend_.PeekMessage(m); }
    void DispatchMessage(const platform::Message& m) override;
    void PostQuitMessage() override { backend_.PostQuitMessage(); }
    void PostCallback(std::function<void()> callback) override { backend_.PostCallback(std::move(callback)); }
    void WaitMessage() override { backend_.WaitMessage(); }

    platform::TimerHandle CreateTimer(unsigned intervalMs, bool repeating, std::function<void()> callback) override;
    void KillTimer(platform::TimerHandle timer) override;
    std::uint64_t HighResolutionCounter() override { return backend_.HighResolutionCounter(); }
    std::uint64_t HighResolutionFrequency() override { return backend_.HighResolutionFrequency(); }
    void YieldProcessor() override { backend_.YieldProcessor(); }

    platform::MessageBoxResult ShowMessageBox(const platform::MessageBoxRequest& r) override {
        return backend_.ShowMessageBox(r);
    }
    std::unique_ptr<platform::ICanvas> CreateOffscreenCanvas(platform::SizeI pixels, float scale) override {
        return backend_.CreateOffscreenCanvas(pixels, scale);
    }
    std::unique_ptr<platform::IWebEngine> CreateWebEngine(platform::IWebEngineEvents& events,
                                                          platform::EngineResult& failure) override {
        return backend_.CreateWebEngine(events, failure);
    }
    void PublishAccessibleTree(platform::WindowHandle w, platform::IAccessibleNode* root) override {
        backend_.PublishAccessibleTree(w, root);
    }
    platform::IAccessibilityEvents* AccessibilityEvents() override { return backend_.AccessibilityEvents(); }

private:
    platform::Platform& backend_;
    std::set<platform::TimerHandle> timers_;
    std::set<platform::TimerHandle> oneShots_;
    bool refuseTimers_ = false;
};

}  // namespace velmora
