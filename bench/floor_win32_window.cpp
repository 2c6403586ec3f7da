// The window and face every Windows floor starts from.
#include "floor_win32_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

namespace {
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The value of NAME=VALUE in SKEETRA_FLOOR_PLACES.
std::string setting(const char* name)
{
    const char* all = std::getenv("SKEETRA_FLOOR_PLACES");
    const std::string words = all ? all : "";
    const std::string key = std::string(name) + '=';
    for (std::size_t at = 0; at < words.size();) {
        const std::size_t end = std::min(words.find(' ', at), words.size());
        if (words.compare(at, key.size(), key) == 0)
            return words.substr(at + key.size(), end - at - key.size());
        at = end + 1;
    }
    std::fprintf(stderr, "floor: SKEETRA_FLOOR_PLACES has no %s (scripts/bench-windows sets it)\n", name);
    std::exit(2);
}
} // namespace

RECT place(const char* name)
{
    int left = 0, top = 0, width = 0, height = 0;
    if (std::sscanf(setting(name).c_str(), "%d,%d,%d,%d", &left, &top, &width, &height) != 4) {
        std::fprintf(stderr, "floor: %s is no place L,T,W,H\n", name);
        std::exit(2);
    }
    return {left, top, left + width, top + height};
}

int figure(const char* name) { return std::atoi(setting(name).c_str()); }

namespace {

HFONT face;

HFONT loadFace()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(instance, L"FLOOR_FACE", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD fonts = 0;
    if (!bytes || !AddFontMemResourceEx(bytes, SizeofResource(instance, found), nullptr, &fonts))
        return nullptr;
    return CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"PT Sans");
}

HWND createWindow(WNDPROC procedure, const wchar_t* title)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"SkeetraFloor";
    if (!RegisterClassW(&windowClass))
        return nullptr;
    RECT frame = place("client");
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    return CreateWindowExW(0, windowClass.lpszClassName, title, kStyle, frame.left, frame.top,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

} // namespace

LRESULT defaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void useFace(HDC dc, COLORREF colour)
{
    SelectObject(dc, face);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
}

int runFloorWindow(WNDPROC procedure, const wchar_t* title, UINT tickMs)
{
    face = loadFace();
    HWND window = face ? createWindow(procedure, title) : nullptr;
    if (!window)
        return 1;
    if (tickMs)
        SetTimer(window, 1, tickMs, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

} // namespace bench
