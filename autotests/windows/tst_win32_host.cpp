// The Win32 host's own rules, run under Wine (or on Windows): how a label
// breaks its caption into lines, the exit status of a program that a
// runtime error ends, the clock's ticks amid a flood of clicks, and after
// a wake-up that came early. A plain program: the Windows build has no Qt.
#include "caption_lines.h"
#include "form1_design.h"
#include "win32_host.h"

#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

int g_failures = 0;

void check(bool ok, const std::string& what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", what.c_str());
    g_failures += !ok;
}

std::string narrow(const std::wstring& wide)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

std::string joined(const std::vector<std::wstring>& lines)
{
    std::string text;
    for (const std::wstring& line : lines)
        text += "[" + narrow(line) + "]";
    return text;
}

// The lines without the blanks that hang past the label's edge.
std::vector<std::wstring> trimmed(std::vector<std::wstring> lines)
{
    for (std::wstring& line : lines)
        while (!line.empty() && line.back() == L' ')
            line.pop_back();
    return lines;
}

// A screen DC with the bundled face the design's "MS Sans Serif" stands for,
// at the pixel size the host gives the points.
struct TextDc {
    HDC dc = CreateCompatibleDC(nullptr);
    HANDLE loaded = nullptr;
    HFONT font = nullptr;

    explicit TextDc(double points)
    {
        const std::string_view bytes = rt::win32::resourceBytes(":/fonts/PTSans-Regular.ttf");
        DWORD count = 0;
        loaded = AddFontMemResourceEx(const_cast<char*>(bytes.data()), DWORD(bytes.size()), nullptr, &count);
        LOGFONTW logical{};
        logical.lfHeight = -int(points * 96.0 / 72.0 + 0.5);
        logical.lfWeight = FW_NORMAL;
        logical.lfCharSet = DEFAULT_CHARSET;
        logical.lfOutPrecision = OUT_TT_PRECIS;
        logical.lfQuality = ANTIALIASED_QUALITY;
        rt::win32::fontFamilyName(bytes).copy(logical.lfFaceName, LF_FACESIZE - 1);
        font = CreateFontIndirectW(&logical);
        SelectObject(dc, font);
    }
    ~TextDc()
    {
        DeleteDC(dc);
        DeleteObject(font);
        RemoveFontMemResourceEx(loaded);
    }
    int width(const std::wstring& text) const
    {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data(), int(text.size()), &size);
        return int(size.cx);
    }
};

void labelLinesBreakAtWordsThatDoNotFit()
{
    TextDc t(9.75);
    struct Case {
        const char* name;
        std::string text;
        int width;
        std::vector<std::wstring> lines; // as drawn, blanks included
    };
    const Case cases[] = {
        // Only a word's visible part has to fit; its trailing blank hangs.
        {"a word that fits only without its trailing blank", "ab cd ef", t.width(L"ab cd"), {L"ab cd ", L"ef"}},
        {"a run of blanks hangs past the edge", "ab      cd", t.width(L"ab"), {L"ab      ", L"cd"}},
        {"a word wider than the label stands alone", "a verylongword b", t.width(L"a v"), {L"a ", L"verylongword ", L"b"}},
        {"a leading blank is kept", " ab cd", t.width(L" ab cd"), {L" ab cd"}},
        {"empty", "", 10, {L""}},
    };
    for (const Case& c : cases) {
        const auto lines = rt::win32::labelLines(t.dc, c.width, c.text);
        check(lines == c.lines, std::string("labelLines: ") + c.name + " " + joined(lines));
    }
}

void designCaptionsBreakAsDesigned()
{
    const rt::FormDesign& design = skeetra::form1Design();
    for (const skeetra::CaptionLines& c : skeetra::captionLines()) {
        std::vector<std::wstring> expected;
        for (std::string_view line : c.lines)
            expected.push_back(rt::win32::widen(line));
        for (const rt::ControlDesign& control : design.controls) {
            if (control.name != c.label)
                continue;
            TextDc t(control.font.points);
            const int width = rt::twipsToPixels(control.place.width);
            std::vector<std::wstring> lines = trimmed(rt::win32::labelLines(t.dc, width, control.caption));
            if (!lines.empty() && !lines.front().empty() && lines.front().front() == L' ')
                lines.front().erase(0, 1);
            check(lines == expected, std::string("labelLines: ") + std::string(c.label) + "'s caption " + joined(lines));
        }
    }
}

// A runtime error in a tick: reported in a box, which the player closes,
// and the program ends with the runtime error status.
void runtimeErrorEndsWithStatusOne()
{
    static constexpr rt::ControlDesign controls[] = {
        {.name = "Tick", .kind = rt::ControlKind::Timer, .visible = false, .interval = 1, .enabled = true},
    };
    static constexpr rt::FormDesign design{
        .name = "Test", .appTitle = "Skeetra test", .caption = "Skeetra test window", .client = {0, 0, 1500, 1500},
        .controls = controls};
    rt::Form form(design);
    form.timer("Tick").handler = [] { rt::textToDouble("no number"); };
    rt::win32::FormWindow window(form);
    form.load();
    window.show();
    form.startTimers();

    std::atomic<bool> boxSeen{false}, done{false};
    std::thread player([&] {
        while (!done) {
            if (HWND box = FindWindowW(L"#32770", L"Skeetra test")) {
                boxSeen = true;
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            }
            Sleep(20);
        }
    });
    const int status = window.run();
    done = true;
    player.join();
    check(boxSeen, "a runtime error shows a box");
    check(status == rt::kRuntimeErrorStatus && form.exitStatus() == rt::kRuntimeErrorStatus,
          "a runtime error ends the program with status 1, got " + std::to_string(status));
}

// A flood of clicks queued before the loop starts, each click's handler
// taking a moment: the clock's ticks come in the middle of the flood, not
// after it, and each shows on the screen before the next click is taken
// (Windows paints only once no input is queued, unless told to at once).
void ticksInterleaveWithAFloodAndShowAtOnce()
{
    static constexpr rt::ControlDesign controls[] = {
        {.name = "Clock", .kind = rt::ControlKind::Timer, .visible = false, .interval = 100, .enabled = true},
        {.name = "Time", .kind = rt::ControlKind::Label, .place = {0, 0, 1500, 300}, .caption = "0"},
        {.name = "Target", .kind = rt::ControlKind::Label, .place = {0, 600, 1500, 600}, .caption = ""},
    };
    static constexpr rt::FormDesign design{
        .name = "Test", .appTitle = "Skeetra test", .caption = "Skeetra flood window", .client = {0, 0, 3000, 3000},
        .controls = controls};
    rt::Form form(design);
    constexpr int kClicks = 500;
    int clicks = 0, ticks = 0, clicksAtFirstTick = -1, ticksSeen = 0, unpainted = 0;
    form.timer("Clock").handler = [&] {
        if (++ticks == 1)
            clicksAtFirstTick = clicks;
        form.label("Time").setCaption(std::to_string(ticks));
    };
    rt::win32::FormWindow window(form);
    form.label("Target").handler = [&] {
        ++clicks;
        if (ticks != ticksSeen) {
            ticksSeen = ticks;
            unpainted += GetUpdateRect(window.handle(), nullptr, FALSE) ? 1 : 0;
        }
        Sleep(2);
    };
    form.load();
    window.show();
    RECT client{};
    GetClientRect(window.handle(), &client);
    const int scale = std::max(1, int(client.right / form.clientWidth()));
    const LPARAM at = MAKELPARAM(50 * scale, 60 * scale);
    for (int i = 0; i < kClicks; ++i) {
        PostMessageW(window.handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window.handle(), WM_LBUTTONUP, 0, at);
    }
    PostMessageW(window.handle(), WM_CLOSE, 0, 0);
    form.startTimers();
    window.run();
    check(clicks == kClicks, "every queued click is taken, got " + std::to_string(clicks));
    check(clicksAtFirstTick >= 0 && clicksAtFirstTick < kClicks / 2,
          "the clock ticks during the flood, first after " + std::to_string(clicksAtFirstTick) + " clicks");
    check(ticksSeen > 0 && unpainted == 0,
          "every tick is painted before the next click; unpainted " + std::to_string(unpainted) + " of " +
              std::to_string(ticksSeen));
}

// The waitable timer can fire before the clock the host reads says a tick
// is due (Windows may round its wait to the system tick; here the test
// turns the host's clock back 300 ms through SKEETRA_TEST_CLOCK_FILE while
// a wake-up is set). The host then sets it again: the clock goes on
// ticking with no message to wake the loop, not frozen until the next one.
void earlyWakeUpIsSetAgain()
{
    static constexpr rt::ControlDesign controls[] = {
        {.name = "Clock", .kind = rt::ControlKind::Timer, .visible = false, .interval = 100, .enabled = true},
        {.name = "Time", .kind = rt::ControlKind::Label, .place = {0, 0, 1500, 300}, .caption = "0"},
    };
    static constexpr rt::FormDesign design{
        .name = "Test", .appTitle = "Skeetra test", .caption = "Skeetra early wake-up", .client = {0, 0, 3000, 3000},
        .controls = controls};
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + "skeetra-clock-" + std::to_string(GetCurrentProcessId()) + ".txt";
    auto setClock = [&](int ms) {
        if (FILE* file = std::fopen(path.c_str(), "w")) {
            std::fprintf(file, "%d\n", ms);
            std::fclose(file);
        }
    };
    setClock(0);
    _putenv_s("SKEETRA_TEST_CLOCK_FILE", path.c_str());

    rt::Form form(design);
    std::atomic<int> ticks = 0;
    form.timer("Clock").handler = [&] { form.label("Time").setCaption(std::to_string(++ticks)); };
    rt::win32::FormWindow window(form);
    form.load();
    // Not shown: no message of the screen's can wake the loop. The ticks
    // are counted before the closing message, which would wake a frozen
    // loop and let it make up the time it missed.
    int atTurn = 0, aSecondOn = 0;
    std::thread turnBack([&] {
        Sleep(550);
        setClock(-300);
        atTurn = ticks;
        Sleep(1000);
        aSecondOn = ticks;
        PostMessageW(window.handle(), WM_CLOSE, 0, 0);
    });
    form.startTimers();
    window.run();
    turnBack.join();
    _putenv_s("SKEETRA_TEST_CLOCK_FILE", "");
    std::remove(path.c_str());
    // The clock counts 0.7 s of that second: seven ticks.
    check(aSecondOn - atTurn >= 3, "the clock ticks on after a wake-up came early: " + std::to_string(aSecondOn - atTurn) +
                                       " ticks in the second after it, from " + std::to_string(atTurn));
}

} // namespace

int main()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    labelLinesBreakAtWordsThatDoNotFit();
    designCaptionsBreakAsDesigned();
    runtimeErrorEndsWithStatusOne();
    ticksInterleaveWithAFloodAndShowAtOnce();
    earlyWakeUpIsSetAgain();
    std::printf("%d failed\n", g_failures);
    std::fflush(stdout);
    return g_failures == 0 ? 0 : 1;
}
