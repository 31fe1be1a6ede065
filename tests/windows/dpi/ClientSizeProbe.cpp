// Measures another program's window from outside, as the system reports it
// to a DPI-aware client: waits for a visible top-level window of the given
// window class, prints its client area and the system DPI, and can ask the
// window to close.
//
//   velmora_dpi_probe <window class> <seconds> [close]
//
// Output: "<width>x<height> <dpi>". Exit 0 when measured, 1 when no such
// window appeared in time, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Search {
    std::wstring windowClass;
    HWND best = nullptr;
    long bestArea = 0;
};

// The largest visible window of that class.
BOOL CALLBACK Visit(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    if (!IsWindowVisible(hwnd)) return TRUE;
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    if (search->windowClass != name) return TRUE;
    RECT client{};
    if (!GetClientRect(hwnd, &client)) return TRUE;
    const long area = static_cast<long>(client.right - client.left) * (client.bottom - client.top);
    if (area > search->bestArea) {
        search->best = hwnd;
        search->bestArea = area;
    }
    return TRUE;
}

// Without awareness the system would scale what it reports to 96 DPI.
void BecomeDpiAware() {
    using ContextFn = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto setContext = user32 ? reinterpret_cast<ContextFn>(
                                   reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                             : nullptr;
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (!setContext || !setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) SetProcessDPIAware();
}

// The system DPI as this process sees it (the window's own DPI is not
// reported to other processes everywhere).
int SystemDpi() {
    HDC dc = GetDC(nullptr);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: velmora_dpi_probe <window class> <seconds> [close]\n");
        return 2;
    }
    BecomeDpiAware();
    Search search;
    search.windowClass = argv[1];
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(std::wcstol(argv[2], nullptr, 10)) * 1000;
    for (;;) {
        search.best = nullptr;
        search.bestArea = 0;
        EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
        if (search.best) break;
        if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
            std::fprintf(stderr, "no visible window of that class\n");
            return 1;
        }
        Sleep(200);
    }
    // A window still being sized settles within a moment; take the size
    // once two looks in a row agree.
    RECT client{}, before{};
    GetClientRect(search.best, &before);
    for (int i = 0; i < 20; ++i) {
        Sleep(250);
        GetClientRect(search.best, &client);
        if (EqualRect(&client, &before)) break;
        before = client;
    }
    std::printf("%ldx%ld %d\n", client.right - client.left, client.bottom - client.top, SystemDpi());
    std::fflush(stdout);
    if (argc > 3 && std::wcscmp(argv[3], L"close") == 0) PostMessageW(search.best, WM_CLOSE, 0, 0);
    return 0;
}
