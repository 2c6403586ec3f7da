// The window and face every Windows floor starts from.
#include "floor_win32_window.h"

namespace bench {

namespace {
constexpr int kClientLeft = 49;
constexpr int kClientTop = 81;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
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
    RECT frame{kClientLeft, kClientTop, kClientLeft + kClientWidth, kClientTop + kClientHeight};
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
