// The whole reader on the headless backend, played by a user: steps scheduled
// on the virtual clock inject clicks, keys and close requests while the real
// event loop (and any slide's nested loop) runs, and the engine's and the
// display window's calls are read back from the shared call log afterwards.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "backends/headless/HeadlessPlatform.h"
#include "backends/headless/HeadlessWebEngine.h"
#include "program/Unit2.h"
#include "program/Velmora.h"
#include "toolkit/controls/TabItemContent.h"
#include "toolkit/controls/WebBrowserBinding.h"
#include "toolkit/shell/Application.h"

namespace velmora {
void RegisterResource_TFORM2();
}

namespace velmora::session_test {

using headless::HeadlessPlatform;
using platform::Key;
using platform::PointI;

inline const std::string kHost = VELMORA_CHAPTER_HOST;

inline std::string ChapterAddress(int chapter) {
    return "http://" + kHost + "/Nav" + std::to_string(chapter) + ".html";
}

// The log line of a chapter load as the engine receives it.
inline std::string ChapterLoad(int chapter) { return "WebEngine.Navigate(\"" + ChapterAddress(chapter) + "\", 0)"; }

inline const std::string kEmptyLoad = "WebEngine.Navigate(\"\", missing)";

using ButtonField = TButton* TForm2::*;
inline const ButtonField kChapterButtons[] = {&TForm2::Button1, &TForm2::Button2, &TForm2::Button3,
                                              &TForm2::Button4};

// Members are public so that tables of cases can play input through them.
class SessionFixture : public ::testing::Test {
public:
    void SetUp() override {
        host.DefaultPosition = {120, 80};
        host.WindowFrame = {8, 31, 8, 8};
    }

    void TearDown() override {
        headless::HeadlessWebEngine::ResetNextEngineFaults();
        // Later tests find the program's description where the build put it.
        RegisterResource_TFORM2();
    }

    // The process from module initialisation to its exit code.
    int RunProgram() { return RunProcess(host, ProgramModules(), Velmora); }

    void At(double ms, std::function<void()> step) { host.At(ms, std::move(step)); }
    void CloseAt(double ms) {
        At(ms, [this] { host.CloseRequest(Window()); });
    }

    platform::WindowHandle Window() const { return Form2->Handle(); }
    float Scale() const { return static_cast<float>(host.Window(Form2->Handle())->dpi) / 96.0f; }

    // A point of a control in client pixels of the main window; fx and fy
    // pick the spot as fractions of its width and height.
    PointI PointOf(const TControl& control, float fx = 0.5f, float fy = 0.5f) const {
        const RectF r = control.AbsoluteRect();
        const float s = Scale();
        return {static_cast<int>(std::floor((r.left + r.Width() * fx) * s)),
                static_cast<int>(std::floor((r.top + r.Height() * fy) * s))};
    }
    PointI PointOf(ButtonField button) const { return PointOf(*(Form2->*button)); }
    PointI HeaderOf(int page) const { return PointOf(*Form2->TabControl1->Tabs(page)); }

    void Click(PointI p) { host.Click(Window(), p.x, p.y); }
    void PressHeader(int page) {
        const PointI p = HeaderOf(page);
        host.Press(Window(), p.x, p.y);
        host.Release(Window(), p.x, p.y);
    }

    // Engine calls, display-window calls and anything else the log keeps,
    // in order.
    const std::vector<std::string>& Log() { return host.CallLog(); }

    // The addresses the engine was asked to load, the empty one included.
    std::vector<std::string> Loads() {
        std::vector<std::string> loads;
        for (const std::string& line : Log())
            if (line.starts_with("WebEngine.Navigate(")) loads.push_back(line);
        return loads;
    }
    // Only the chapter loads, as chapter numbers.
    std::vector<int> ChapterLoads() {
        std::vector<int> chapters;
        for (const std::string& line : Loads())
            for (int c = 1; c <= 4; ++c)
                if (line == ChapterLoad(c)) chapters.push_back(c);
        return chapters;
    }

    std::vector<headless::RecordedMessageBox> Boxes(const std::string& caption) const {
        std::vector<headless::RecordedMessageBox> out;
        for (const auto& b : host.MessageBoxes())
            if (b.caption == caption) out.push_back(b);
        return out;
    }

    HeadlessPlatform host;
};

}  // namespace velmora::session_test
