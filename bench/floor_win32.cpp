// The Windows floor of the launch and memory figures: the least a Win32
// program of the game's kind does before its first frame. A window with
// the game's client size and place, the game's face loaded from its own
// resources as the game loads it, and one line of text in it.
#include <windows.h>

#include <iterator>

namespace {

constexpr int kClientLeft = 49;
constexpr int kClientTop = 81;
constexpr int kClientWidth = 434;
constexpr int kClientHeight = 475;
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

HFONT face;

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        static const wchar_t line[] = L"Набери 100 убийств за минимальное время.";
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        SelectObject(dc, face);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 0));
        TextOutW(dc, 8, 8, line, static_cast<int>(std::size(line) - 1));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int main()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(instance, L"FLOOR_FACE", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    void* bytes = loaded ? LockResource(loaded) : nullptr;
    DWORD fonts = 0;
    if (!bytes || !AddFontMemResourceEx(bytes, SizeofResource(instance, found), nullptr, &fonts))
        return 1;
    face = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"PT Sans");

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"SkeetraFloor";
    if (!RegisterClassW(&windowClass))
        return 1;
    RECT frame{kClientLeft, kClientTop, kClientLeft + kClientWidth, kClientTop + kClientHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Skeetra floor", kStyle, frame.left, frame.top,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                                  nullptr);
    if (!window)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
