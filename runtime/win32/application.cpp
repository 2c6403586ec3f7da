// Program start on Windows: builds the project's form in a Win32 window,
// raises its load event, shows it and delivers events until the program ends.
#include "win32_host.h"

#include <objbase.h>

#include <cstdio>
#include <exception>

namespace rt {

int runApplication(int argc, char**, const Project& project)
{
    warnOfArguments(argc);
    // The Windows Imaging Component is a COM component.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int status = 0;
    try {
        Form form(project.form);
        const std::shared_ptr<void> module = project.bind(form);
        win32::FormWindow window(form);
        form.load();
        if (form.ended()) {
            status = form.exitStatus();
        } else {
            window.show();
            form.startTimers();
            status = window.run();
            // At once, window and all: taking the window down first, or a
            // message box still closing on its thread, would cost Wine on a
            // bare X server two seconds each.
            std::fflush(nullptr);
            ExitProcess(static_cast<UINT>(status));
        }
    } catch (const win32::StartupError& error) {
        reportError(cannotOpenReport(error.what), writeStderrLine, [&](const std::string& text) {
            MessageBoxW(nullptr, win32::widen(text).c_str(), win32::widen(project.form.appTitle).c_str(),
                        MB_OK | MB_ICONERROR);
        });
        status = kNoDisplayStatus;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "skeetra: %s\n", error.what());
        status = kRuntimeErrorStatus;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return status;
}

} // namespace rt
