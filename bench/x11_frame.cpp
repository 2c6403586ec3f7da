// Times a program from its start to its first complete frame as the X
// server shows it, watching from outside: for programs that cannot carry a
// probe of their own, such as the Windows executable under Wine.
//
//   bench_x11_frame [--settle MS] PROGRAM [ARGUMENTS...]
//
// Finds the program's top-level window by its _NET_WM_PID, then reads the
// window's pixels back without pause until they have not changed for MS
// milliseconds (default 1000). The first complete frame is the first
// read-back that already shows those final pixels. Then it reads the peak
// resident set (VmHWM) of the program's process, the process id it
// started: a launcher that execs keeps it. It ends the program with SIGKILL.
//
// Prints "launch_ms <ms>", "peak_kib <KiB>", "grabs <n>" and "grab_ms <ms>"
// (the mean time of one read-back, the figure's resolution). If WINEPREFIX
// is set, also "wine_kib <KiB>": the resident sets, at that moment, of every
// process that runs with the same WINEPREFIX (the program, wineserver and
// Wine's service processes) added up.
#include "x11_watch.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>

extern char** environ;

using namespace bench;

namespace {

// "VmHWM:   1234 kB" and the like, in KiB; -1 when unreadable.
long statusKib(const std::string& pidDir, std::string_view key)
{
    std::ifstream status(pidDir + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, key.size(), key) == 0 && line.size() > key.size() && line[key.size()] == ':')
            return std::strtol(line.c_str() + key.size() + 1, nullptr, 10);
    return -1;
}

// Resident sets of every process started with this WINEPREFIX, added up.
long winePrefixKib(const char* prefix)
{
    const std::string wanted = std::string("WINEPREFIX=") + prefix;
    long total = 0;
    DIR* proc = opendir("/proc");
    while (dirent* entry = proc ? readdir(proc) : nullptr) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        std::ifstream environment(dir + "/environ", std::ios::binary);
        std::string variable;
        bool same = false;
        while (!same && std::getline(environment, variable, '\0'))
            same = variable == wanted;
        if (same)
            total += std::max(0L, statusKib(dir, "VmRSS"));
    }
    if (proc)
        closedir(proc);
    return total;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_x11_frame [--settle MS] PROGRAM [ARGUMENTS...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    double settleMs = 1000;
    if (argc > 2 && std::strcmp(argv[1], "--settle") == 0) {
        settleMs = std::atof(argv[2]);
        first = 3;
    }
    if (first >= argc || settleMs <= 0)
        return usage();

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench_x11_frame: cannot open the display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");

    const double start = monotonicMs();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[first], nullptr, nullptr, argv + first, environ) != 0) {
        std::perror(argv[first]);
        return 2;
    }
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "bench_x11_frame: %s\n", what);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return 1;
    };
    auto ended = [&] { return waitpid(child, nullptr, WNOHANG) == child; };

    xcb_window_t window = 0;
    while (!(window = windowOf(c, root, pidAtom, child))) {
        if (ended())
            return fail("the program ended before its window showed");
        if (monotonicMs() - start > 60000)
            return fail("no window within 60 s");
        usleep(1000);
    }
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (!geometry)
        return fail("cannot read the window's geometry");
    const uint16_t width = geometry->width;
    const uint16_t height = geometry->height;
    std::free(geometry);

    // Each read-back is hashed with the time its reply came: the pixels were
    // on screen by then.
    std::size_t lastHash = 0;
    double lastChange = 0;
    struct Grab {
        double at;
        std::size_t hash;
    };
    static Grab grabs[200000];
    std::size_t count = 0;
    for (;;) {
        double now = 0;
        xcb_get_image_reply_t* image = readBack(c, window, width, height, now);
        if (!image)
            return fail("the window went away");
        const std::size_t hash = std::hash<std::string_view>{}(std::string_view(
            reinterpret_cast<const char*>(xcb_get_image_data(image)), std::size_t(xcb_get_image_data_length(image))));
        std::free(image);
        if (count == std::size(grabs))
            return fail("the window never settled");
        grabs[count++] = {now, hash};
        if (count == 1 || hash != lastHash) {
            lastHash = hash;
            lastChange = now;
        } else if (now - lastChange >= settleMs) {
            break;
        }
    }
    std::size_t firstFinal = 0;
    while (grabs[firstFinal].hash != lastHash)
        ++firstFinal;

    const std::string pidDir = "/proc/" + std::to_string(child);
    const long peak = statusKib(pidDir, "VmHWM");
    const char* prefix = std::getenv("WINEPREFIX");
    const long wine = prefix ? winePrefixKib(prefix) : -1;
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    xcb_disconnect(c);

    std::printf("launch_ms %.3f\n", grabs[firstFinal].at - start);
    std::printf("peak_kib %ld\n", peak);
    if (wine >= 0)
        std::printf("wine_kib %ld\n", wine);
    std::printf("grabs %zu\n", count);
    std::printf("grab_ms %.3f\n", (grabs[count - 1].at - grabs[0].at) / double(count > 1 ? count - 1 : 1));
    return 0;
}
