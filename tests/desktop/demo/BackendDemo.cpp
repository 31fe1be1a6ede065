// Manual check of the desktop backend without the toolkit: opens a window at
// the window manager's position, paints through the canvas, embeds the web
// engine, loads a page while the display is hidden and shows it later, and
// prints every engine notification. Usage: velmora_backend_demo [url] [seconds]
// (built on request: cmake --build <dir> --target velmora_backend_demo)
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/Platform.h"

using namespace velmora::platform;

namespace {

class DemoWindow : public IWindowEvents {
public:
    Platform* platform = nullptr;
    WindowHandle handle = 0;
    bool closed = false;
    std::string status = "Оглавление";

    void OnMessage(const Message& m) override {
        switch (m.kind) {
        case MessageKind::Close:
            std::printf("close request\n");
            closed = true;
            platform->PostQuitMessage();
            break;
        case MessageKind::MouseDown:
            std::printf("mouse down %d,%d clicks %d\n", m.point.x, m.point.y, m.clickCount);
            break;
        case MessageKind::KeyDown:
            std::printf("key %d shift %u\n", static_cast<int>(m.key), m.shift);
            break;
        case MessageKind::DpiChanged:
            std::printf("dpi %d\n", m.dpi);
            break;
        case MessageKind::Moved: {
            RectI r = platform->GetWindowBounds(handle);
            SizeI c = platform->GetClientSize(handle);
            std::printf("moved: outer %d,%d %dx%d client %dx%d\n", r.left, r.top, r.Width(), r.Height(), c.width,
                        c.height);
            break;
        }
        default:
            break;
        }
        std::fflush(stdout);
    }

    void OnPaint(ICanvas& canvas) override {
        const SizeI client = platform->GetClientSize(handle);
        const float w = client.width / canvas.Scale();
        const float h = client.height / canvas.Scale();
        canvas.FillRect({0, 0, w, h}, 0xFFF3F3F3);
        canvas.FillRect({0, 0, w, 28}, 0xFFE0E6EE);
        FontSpec font;
        font.size = 12;
        canvas.DrawText({8, 0, w - 8, 28}, status, font, 0xFF202020, TextVCenter);
        const char* captions[] = {"Зарождение и развитие мореплавания", "Современные способы навигации",
                                  "Радионавигационные средства определения места в море",
                                  "Картографические проекции"};
        for (int i = 0; i < 4; ++i) {
            RectF r{20, 44.0f + i * 62, w - 20, 94.0f + i * 62};
            canvas.FillRect(r, 0xFFFFFFFF, 4);
            canvas.StrokeRect(r, 0xFF9AA7B5, 1, 4);
            canvas.DrawText({r.left + 6, r.top, r.right - 6, r.bottom}, captions[i], font, 0xFF000000,
                            TextWordWrap | TextHCenter | TextVCenter);
        }
        canvas.DrawText({20, 300, 120, 320}, "Обрезка по символу без переноса", font, 0xFF800000,
                        TextTrimCharacter);
        canvas.DrawLine(20, 330, w - 20, 330, 0xFF3060A0, 2);
    }
};

class DemoEngineEvents : public IWebEngineEvents {
public:
    void BeforeNavigate2(const std::string& url) override { std::printf("BeforeNavigate2 %s\n", url.c_str()); }
    void NavigateComplete2(const std::string& url) override { std::printf("NavigateComplete2 %s\n", url.c_str()); }
    void NavigateError(const std::string& url, std::int32_t status) override {
        std::printf("NavigateError %s %d\n", url.c_str(), status);
    }
    void CommandStateChange(int command, bool enabled) override {
        std::printf("CommandStateChange %d %d\n", command, enabled ? 1 : 0);
    }
    void DisplayMouseActivate() override { std::printf("DisplayMouseActivate\n"); }
};

}  // namespace

int main(int argc, char** argv) {
    const std::string url = argc > 1 ? argv[1] : "about:blank";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 6;

    std::unique_ptr<Platform> platform = CreateDefaultPlatform();
    SetCurrentPlatform(platform.get());
    platform->MaskFloatingPointExceptions();
    platform->InitializeUiThread();

    DemoWindow window;
    window.platform = platform.get();
    WindowCreateParams params;
    params.title = "Тальмерин";
    window.handle = platform->CreateNativeWindow(params, &window);
    const RectI initial = platform->GetWindowBounds(window.handle);
    const int dpi = platform->GetWindowDpi(window.handle);
    const float scale = dpi / 96.0f;
    platform->SetClientSize(window.handle, {static_cast<int>(std::ceil(368 * scale)), static_cast<int>(std::ceil(480 * scale))});
    const RectI sized = platform->GetWindowBounds(window.handle);
    platform->SetWindowBounds(window.handle, {initial.left, initial.top, initial.left + sized.Width(), initial.top + sized.Height()});
    std::printf("dpi %d, default %d,%d, outer before showing %dx%d\n", dpi, initial.left, initial.top, sized.Width(),
                sized.Height());

    DemoEngineEvents engineEvents;
    EngineResult failure;
    std::unique_ptr<IWebEngine> engine = platform->CreateWebEngine(engineEvents, failure);
    if (!engine) {
        std::printf("no engine: %s\n", failure.description.c_str());
        return 1;
    }
    engine->Initialize();
    engine->PutSilent(true);
    const int top = static_cast<int>(28 * scale);
    const RectI page{0, top, static_cast<int>(368 * scale), static_cast<int>(480 * scale)};
    engine->InPlaceActivate(window.handle, page);
    WindowHandle display = engine->DisplayWindow();
    engine->Navigate("", std::nullopt);
    platform->SetWindowPos(display, page, PosHide);

    platform->ShowWindow(window.handle);
    platform->ActivateWindow(window.handle);

    // Load while hidden, then slide the display in from the right.
    platform->CreateTimer(500, false, [&] {
        std::printf("navigate %s while hidden\n", url.c_str());
        EngineResult r = engine->Navigate(url, 0);
        if (!r.ok) std::printf("refused: %08x %s\n", static_cast<unsigned>(r.code), r.description.c_str());
    });
    int step = 0;
    TimerHandle slide = 0;
    platform->CreateTimer(2000, false, [&] {
        window.status = "Содержание";
        platform->InvalidateWindow(window.handle);
        slide = platform->CreateTimer(10, true, [&] {
            ++step;
            const int offset = static_cast<int>(368 * scale * (1.0 - std::min(1.0, step / 30.0)));
            platform->SetWindowPos(display, {page.left + offset, page.top, page.right + offset, page.bottom}, PosMoveSize);
            platform->SetWindowPos(display, {}, PosShow);
            if (step >= 30) platform->KillTimer(slide);
        });
    });
    platform->CreateTimer(static_cast<unsigned>(seconds * 1000), false, [&] { platform->PostQuitMessage(); });

    Message message;
    for (;;) {
        if (platform->PeekMessage(message)) {
            if (message.kind == MessageKind::Quit) break;
            platform->DispatchMessage(message);
            std::fflush(stdout);
        } else {
            platform->WaitMessage();
        }
    }
    engine->Close();
    engine.reset();
    platform->DestroyNativeWindow(window.handle);
    std::printf("done\n");
    return 0;
}
