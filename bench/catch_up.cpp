// The cost of catching up after a hold-up, without a platform: a game in
// play held up for a minute, an hour and eight hours, then woken once, and
// beside it the floor, the same number of the clock's and the referee's
// handler calls made directly. A design whose 1 ms timer changes the form
// at every tick (so never sleeps) shows the cost of each made-up tick.
// Prints one Markdown table: bench_catch_up [runs].
#include "form1.h"
#include "play_facts.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

// Every allocation counted, to show what the catch-up keeps in memory.
namespace {
long long g_allocations = 0;
long long g_live = 0;
long long g_peak = 0;
constexpr std::size_t kHeader = 16;
} // namespace

void* operator new(std::size_t size)
{
    auto* block = static_cast<char*>(std::malloc(size + kHeader));
    if (!block)
        throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = size;
    ++g_allocations;
    g_live += static_cast<long long>(size);
    g_peak = std::max(g_peak, g_live);
    return block + kHeader;
}
void operator delete(void* p) noexcept
{
    if (!p)
        return;
    char* block = static_cast<char*>(p) - kHeader;
    g_live -= static_cast<long long>(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using Time = rt::Host::Time;
using namespace std::chrono_literals;

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A host as the platforms are, with the platform calls counted only.
struct CountingHost : rt::Host {
    Time clock{};
    long long repaints = 0, wakeUps = 0;
    Time now() const override { return clock; }
    void wakeAt(std::optional<Time>) override { ++wakeUps; }
    void controlChanged(rt::Control&) override { ++repaints; }
    void messageBox(std::string_view) override {}
    void errorReported(int, std::string_view) override {}
    void programEnded(int) override {}
};

// The clock's period: its timer's interval in the design.
Time clockPeriod(rt::Form& form) { return std::chrono::milliseconds(form.timer(skeetra::play::kClockTimer).Interval()); }

struct Figure {
    double cpuMs = 0;
    long long ticks = 0, repaints = 0, allocations = 0, peakBytes = 0;
};

// The one wake-up that comes `held` late, with what it cost.
Figure wakeAfter(rt::Form& form, CountingHost& host, Time held)
{
    host.repaints = 0;
    const long long allocations = g_allocations, live = g_live;
    g_peak = g_live;
    const double from = cpuMs();
    host.clock = held;
    Figure f;
    f.ticks = form.wake();
    f.cpuMs = cpuMs() - from;
    f.repaints = host.repaints;
    f.allocations = g_allocations - allocations;
    f.peakBytes = g_peak - live;
    return f;
}

// The game in play, held up for `held`, then woken once.
Figure gameCatchUp(Time held)
{
    rt::Form form(skeetra::Form1::design());
    skeetra::Form1 game(form);
    CountingHost host;
    form.setHost(&host);
    rt::seedRandom(1);
    form.load();
    form.startTimers();
    form.click(&game.Image1); // play starts: the clock runs, the referee shows a target
    const Figure f = wakeAfter(form, host, held);
    const std::string clock = form.label(skeetra::play::kClock).Caption();
    if (clock != std::to_string(held / clockPeriod(form)))
        std::fprintf(stderr, "bench_catch_up: the clock reads %s after %lld ms\n", clock.c_str(),
                     static_cast<long long>(held / 1ms));
    return f;
}

// The least of the same work: the clock's handler and the referee's, once
// for each tick of the clock, called directly on a form with no host.
Figure gameFloor(Time held)
{
    rt::Form form(skeetra::Form1::design());
    skeetra::Form1 game(form);
    rt::seedRandom(1);
    form.click(&game.Image1);
    const long long n = held / clockPeriod(form);
    const double from = cpuMs();
    for (long long i = 0; i < n; ++i) {
        game.Timer1.handler();
        game.Timer2.handler();
    }
    Figure f;
    f.cpuMs = cpuMs() - from;
    f.ticks = n;
    return f;
}

constexpr rt::ControlDesign busyControls[] = {
    {.name = "Busy", .kind = rt::ControlKind::Timer, .visible = false, .interval = 1, .enabled = true},
    {.name = "Count", .kind = rt::ControlKind::Label, .place = {0, 0, 300, 300}, .caption = "0"},
};
constexpr rt::FormDesign busyDesign{.name = "Busy", .client = {0, 0, 1500, 1500}, .controls = busyControls};

// A 1 ms timer whose every tick changes a label: nothing sleeps.
Figure busyCatchUp(Time held)
{
    rt::Form form(busyDesign);
    rt::Label& count = form.label("Count");
    long long n = 0;
    form.timer("Busy").handler = [&] { count.setCaption(std::to_string(++n)); };
    CountingHost host;
    form.setHost(&host);
    form.load();
    form.startTimers();
    return wakeAfter(form, host, held);
}

Figure busyFloor(Time held)
{
    rt::Form form(busyDesign);
    rt::Label& count = form.label("Count");
    long long n = 0;
    form.timer("Busy").handler = [&] { count.setCaption(std::to_string(++n)); };
    const long long ticks = held / 1ms;
    const double from = cpuMs();
    for (long long i = 0; i < ticks; ++i)
        form.timer("Busy").handler();
    Figure f;
    f.cpuMs = cpuMs() - from;
    f.ticks = ticks;
    return f;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    struct Hold {
        const char* name;
        Time held;
    };
    const Hold holds[] = {{"1 minute", 1min}, {"1 hour", 1h}, {"8 hours", 8h}};
    std::printf("| held up | design | ticks made up | repaints | CPU ms (median of %d) | floor CPU ms | ratio | "
                "allocations | peak bytes held |\n",
                runs);
    std::printf("| --- | --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |\n");
    for (const auto& [design, catchUp, floor, runsFor] :
         std::vector<std::tuple<const char*, std::function<Figure(Time)>, std::function<Figure(Time)>, int>>{
             {"the game in play", gameCatchUp, gameFloor, runs},
             {"a 1 ms timer that never sleeps", busyCatchUp, busyFloor, std::max(1, runs / 2)}}) {
        for (const Hold& hold : holds) {
            std::vector<double> game, least;
            Figure last;
            for (int i = 0; i < runsFor; ++i) { // interleaved, so that both see the same machine
                last = catchUp(hold.held);
                game.push_back(last.cpuMs);
                least.push_back(floor(hold.held).cpuMs);
            }
            const double g = median(game), l = median(least);
            std::printf("| %s | %s | %lld | %lld | %.2f | %.2f | %.2f | %lld | %lld |\n", hold.name, design, last.ticks,
                        last.repaints, g, l, l > 0 ? g / l : 0.0, last.allocations, last.peakBytes);
            std::fflush(stdout);
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("\npeak resident set of the whole run: %ld KB\n", usage.ru_maxrss);
    return 0;
}
