// Tells where the reader's keyboard focus is, as seen from another process
// through the system's own calls: "window" when the main window itself has
// it, "control <class>" when a window inside it does (the browser control's
// display, named by the class of the main window's child that holds the
// focus), "elsewhere" or "no reader window" otherwise.
#include <windows.h>

#include <cstdio>

int main() {
    HWND main = FindWindowW(L"VelmoraForm", L"\u0422\u0430\u043b\u044c\u043c\u0435\u0440\u0438\u043d");
    if (!main) {
        std::puts("no reader window");
        return 1;
    }
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) || !info.hwndFocus) {
        std::puts("elsewhere");
        return 0;
    }
    if (info.hwndFocus == main) {
        std::puts("window");
        return 0;
    }
    if (!IsChild(main, info.hwndFocus)) {
        std::puts("elsewhere");
        return 0;
    }
    HWND child = info.hwndFocus;
    while (GetParent(child) != main) child = GetParent(child);
    char name[128] = "";
    GetClassNameA(child, name, sizeof name);
    std::printf("control %s\n", name);
    return 0;
}
