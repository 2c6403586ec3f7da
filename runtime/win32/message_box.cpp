// The Form's message boxes: MessageBoxW on a thread of its own while the
// window's thread goes on painting and can still be closed.
#include "win32_host.h"

#include <cstdio>
#include <cwchar>
#include <memory>
#include <thread>

namespace rt::win32 {

namespace {

// A message box runs on a thread of its own, which tells the window's thread
// the moment the player answers, before the box goes. Taking a window down
// costs Wine on a bare X server two seconds; the loss box is followed by the
// program's end, which then need not wait for it.
struct BoxAnswer {
    HANDLE answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~BoxAnswer() { CloseHandle(answered); }
};

thread_local BoxAnswer* t_boxAnswer = nullptr;

// A button of the box pressed, by the mouse, the keyboard or its close box.
bool isAnswer(HWND window, UINT message, WPARAM wParam)
{
    if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return false;
    const int id = LOWORD(wParam);
    wchar_t name[8]{};
    return id >= IDOK && id <= IDCONTINUE && GetClassNameW(window, name, 8) && std::wcscmp(name, L"#32770") == 0;
}

bool isBox(HWND window)
{
    wchar_t name[8]{};
    return GetClassNameW(window, name, 8) && std::wcscmp(name, L"#32770") == 0;
}

LRESULT CALLBACK sentToBox(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && t_boxAnswer && isAnswer(m->hwnd, m->message, m->wParam))
        SetEvent(t_boxAnswer->answered);
    // A box disables its owner, and a disabled window takes no close
    // request; the game window is enabled again before the box shows, so
    // that closing it ends the program also while the box is open. Each box
    // does so on its own thread, a box over a box too, and nothing is left
    // to undo whichever way the box goes. The Form takes no click meanwhile.
    if (code == HC_ACTION && m->message == WM_SHOWWINDOW && m->wParam && isBox(m->hwnd))
        if (HWND owner = GetWindow(m->hwnd, GW_OWNER))
            EnableWindow(owner, TRUE);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK postedToBox(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* m = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && t_boxAnswer && isAnswer(m->hwnd, m->message, m->wParam))
        SetEvent(t_boxAnswer->answered);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int FormWindow::showBox(const std::wstring& text, UINT type)
{
    ++boxDepth_;
    auto answer = std::make_shared<BoxAnswer>();
    std::thread([answer, owner = window_, text, title = widen(form_.design().appTitle), type] {
        t_boxAnswer = answer.get();
        const DWORD thread = GetCurrentThreadId();
        HHOOK sent = SetWindowsHookExW(WH_CALLWNDPROC, sentToBox, nullptr, thread);
        HHOOK posted = SetWindowsHookExW(WH_GETMESSAGE, postedToBox, nullptr, thread);
        MessageBoxW(owner, text.c_str(), title.c_str(), type | MB_OK | MB_SETFOREGROUND);
        SetEvent(answer->answered);
        if (sent)
            UnhookWindowsHookEx(sent);
        if (posted)
            UnhookWindowsHookEx(posted);
        t_boxAnswer = nullptr;
    }).detach();

    // The window's own messages go on meanwhile: painting, and closing it,
    // which ends the program; the Form takes no other event until the box
    // is answered.
    // Ticks that fall due meanwhile are the Form's to skip.
    const HANDLE waits[] = {answer->answered, wake_};
    for (bool quit = false; !quit;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(2, waits, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken == WAIT_OBJECT_0 + 1) {
            fireDueTimers(true);
            continue;
        }
        // One message at a time: the answer counts before the rest of a
        // flood of clicks still queued behind it.
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam)); // for run(), which ends the program
                quit = true;
            } else {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
    }
    --boxDepth_;
    return IDOK;
}

void FormWindow::messageBox(std::string_view text) { showBox(widen(text), 0); }

void FormWindow::writeErrorLine(const std::string& line) { writeStderrLine(line); }

void FormWindow::showErrorBox(const std::string& text) { showBox(widen(text), MB_ICONERROR); }

} // namespace rt::win32
