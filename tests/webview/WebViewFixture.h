// A main window on the headless platform with a page control in it, ready to
// receive web views, and helpers to read the recorded engine and placement
// calls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backends/headless/HeadlessPlatform.h"
#include "backends/headless/HeadlessWebEngine.h"
#include "toolkit/controls/BrowserPlacementRegistry.h"
#include "toolkit/controls/WBFactoryService.h"
#include "toolkit/controls/WebBrowser.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/forms/CustomForm.h"

namespace velmora::webview_test {

using headless::HeadlessPlatform;
using headless::HeadlessWebEngine;

// A window whose native handle exists without reading a description.
class HostForm : public TForm {
public:
    using TForm::TForm;
    using TCustomForm::CreateHandle;
};

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        HeadlessWebEngine::ResetNextEngineFaults();
        platform::SetCurrentPlatform(&platform);
    }

    void TearDown() override {
        form.reset();
        EXPECT_TRUE(TWBFactoryService::Instance().Bindings().empty()) << "a binding outlived its window";
        EXPECT_TRUE(HeadlessWebEngine::LiveEngines().empty()) << "an engine was not released";
        HeadlessWebEngine::ResetNextEngineFaults();
        platform::SetCurrentPlatform(nullptr);
    }

    // The window at the given DPI, with a page at (0, 28) of 368 x 452 units.
    void MakeWindow(int dpi = 96) {
        platform.DefaultDpi = dpi;
        form = std::make_unique<HostForm>(nullptr);
        form->CreateHandle();
        page = new TControl(form.get());
        page->SetParent(&form->ClientArea());
        page->SetBounds(0, 28, 368, 452);
    }

    // A web view on the page, filling it.
    TWebBrowser* AddView(TControl* parent = nullptr) {
        auto* view = new TWebBrowser(form.get());
        view->SetParent(parent ? parent : page);
        view->SetBounds(0, 0, 368, 452);
        return view;
    }

    static HeadlessWebEngine& EngineOf(const TWebBrowser& view) {
        return dynamic_cast<HeadlessWebEngine&>(*view.Binding()->Engine());
    }

    std::size_t Mark() { return platform.CallLog().size(); }

    std::vector<std::string> LogSince(std::size_t mark) {
        const auto& log = platform.CallLog();
        return {log.begin() + static_cast<std::ptrdiff_t>(mark), log.end()};
    }

    // Lines that start with prefix, recorded since mark.
    std::vector<std::string> LinesSince(std::size_t mark, const std::string& prefix) {
        std::vector<std::string> out;
        for (const std::string& line : LogSince(mark))
            if (line.rfind(prefix, 0) == 0) out.push_back(line);
        return out;
    }

    static std::string Pos(platform::WindowHandle display, int x, int y, int cx, int cy, const char* flags) {
        return "SetWindowPos(" + std::to_string(display) + ", " + std::to_string(x) + ", " + std::to_string(y) +
               ", " + std::to_string(cx) + ", " + std::to_string(cy) + ", " + flags + ")";
    }
    static std::string Shown(platform::WindowHandle display) { return Pos(display, 0, 0, 0, 0, "0x57"); }
    static std::string Hidden(platform::WindowHandle display) { return Pos(display, 0, 0, 0, 0, "0x97"); }

    HeadlessPlatform platform;
    std::unique_ptr<HostForm> form;
    TControl* page = nullptr;
};

// Whether expected appears in log in this order (other lines may come between).
inline ::testing::AssertionResult InOrder(const std::vector<std::string>& log,
                                          const std::vector<std::string>& expected) {
    std::size_t next = 0;
    for (const std::string& line : log)
        if (next < expected.size() && line == expected[next]) ++next;
    if (next == expected.size()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    failure << "missing \"" << expected[next] << "\" (in order) in the log:\n";
    for (const std::string& line : log) failure << "  " << line << "\n";
    return failure;
}

inline int Count(const std::vector<std::string>& log, const std::string& line) {
    int n = 0;
    for (const std::string& l : log) n += l == line ? 1 : 0;
    return n;
}

}  // namespace velmora::webview_test
