// The embedded files the window is built from, UTF-8 text made wide for
// the Windows API, and the error that stops the window being built.
#include "win32_host.h"

#include <cstdio>

namespace rt::win32 {

void fail(const std::string& what, HRESULT hr)
{
    std::string text = what;
    if (hr != S_OK) {
        char code[16];
        std::snprintf(code, sizeof code, " (0x%08lX)", static_cast<unsigned long>(hr));
        text += code;
    }
    throw StartupError{text};
}

std::wstring widen(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

std::string_view resourceBytes(std::string_view path)
{
    std::string_view name = path;
    if (name.starts_with(":/"))
        name.remove_prefix(2);
    const std::wstring wname = widen(name);
    HRSRC found = FindResourceW(nullptr, wname.c_str(), RT_RCDATA);
    if (!found)
        fail("no resource " + std::string(path));
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        fail("cannot load resource " + std::string(path));
    return {static_cast<const char*>(data), SizeofResource(nullptr, found)};
}

} // namespace rt::win32
