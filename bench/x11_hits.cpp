// Hit to next figure on screen, watched from outside on the X server: for
// programs that cannot carry a probe of their own, such as the Windows
// executable and its floor under Wine.
//
//   bench_x11_hits --hits N --start X,Y --counter X,Y,W,H
//                  --targets X,Y,W,H/X,Y,W,H/... PROGRAM [ARGUMENTS...]
//
// Coordinates are in the program's client area, which under Wine with no
// window manager is its X window. The program starts with every target
// place empty; a click at --start shows the first figure. Then, N times:
// after 150 ms of steady play the watcher presses the mouse on the figure
// with XTest, and 30 ms later releases it, reading CLOCK_MONOTONIC just
// before it sends the release. It then reads the window back without pause
// until the counter's pixels have changed (the hit has been painted) and a
// target place shows a figure (its pixels differ from its empty ones): the
// time of that read-back's reply, less the release's, is the hit.
//
// Prints "hit_ms <ms>" for each hit, "miss" for a click that changed no
// counter within 5 s (it is retried), and "grab_ms <ms>", the mean time of
// one read-back, the figures' resolution. It ends the program with SIGKILL.
#include "x11_watch.h"

#include <xcb/xtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

using namespace bench;

namespace {

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

bool parseRect(const char* text, Rect& r, bool sizeToo)
{
    if (sizeToo)
        return std::sscanf(text, "%d,%d,%d,%d", &r.x, &r.y, &r.w, &r.h) == 4 && r.w > 0 && r.h > 0;
    return std::sscanf(text, "%d,%d", &r.x, &r.y) == 2;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_x11_hits --hits N --start X,Y --counter X,Y,W,H "
                         "--targets X,Y,W,H/... PROGRAM [ARGUMENTS...]\n");
    return 2;
}

// The pixels of one rectangle of a read-back (Z pixmap, 32 bits a pixel).
std::string pixelsOf(xcb_get_image_reply_t* image, int width, const Rect& r)
{
    const auto* data = reinterpret_cast<const char*>(xcb_get_image_data(image));
    std::string out;
    out.reserve(static_cast<size_t>(r.w) * r.h * 4);
    for (int y = r.y; y < r.y + r.h; ++y)
        out.append(data + (static_cast<size_t>(y) * width + r.x) * 4, static_cast<size_t>(r.w) * 4);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    int hits = 0;
    Rect start, counter;
    std::vector<Rect> targets;
    bool haveStart = false, haveCounter = false;
    int first = 1;
    for (; first + 1 < argc && argv[first][0] == '-'; first += 2) {
        const std::string option = argv[first];
        const char* value = argv[first + 1];
        if (option == "--hits") {
            hits = std::atoi(value);
        } else if (option == "--start") {
            haveStart = parseRect(value, start, false);
        } else if (option == "--counter") {
            haveCounter = parseRect(value, counter, true);
        } else if (option == "--targets") {
            std::string list = value;
            for (size_t at = 0; at <= list.size();) {
                const size_t end = std::min(list.find('/', at), list.size());
                Rect r;
                if (!parseRect(list.substr(at, end - at).c_str(), r, true))
                    return usage();
                targets.push_back(r);
                at = end + 1;
            }
        } else {
            return usage();
        }
    }
    if (hits < 1 || !haveStart || !haveCounter || targets.empty() || first >= argc)
        return usage();

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "bench_x11_hits: cannot open the display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t pidAtom = atom(c, "_NET_WM_PID");

    pid_t child = 0;
    if (posix_spawnp(&child, argv[first], nullptr, nullptr, argv + first, environ) != 0) {
        std::perror(argv[first]);
        return 2;
    }
    auto fail = [&](const char* what) {
        std::fprintf(stderr, "bench_x11_hits: %s\n", what);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return 1;
    };

    xcb_window_t window = 0;
    const double launched = monotonicMs();
    while (!(window = windowOf(c, root, pidAtom, child))) {
        if (waitpid(child, nullptr, WNOHANG) == child)
            return fail("the program ended before its window showed");
        if (monotonicMs() - launched > 60000)
            return fail("no window within 60 s");
        usleep(1000);
    }
    xcb_get_geometry_reply_t* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    xcb_translate_coordinates_reply_t* origin =
        xcb_translate_coordinates_reply(c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
    if (!geometry || !origin)
        return fail("cannot read the window's geometry");
    const int width = geometry->width, height = geometry->height;
    const int left = origin->dst_x, top = origin->dst_y;
    std::free(geometry);
    std::free(origin);
    auto inside = [&](const Rect& r) { return r.x >= 0 && r.y >= 0 && r.x + r.w <= width && r.y + r.h <= height; };
    if (!inside(counter))
        return fail("the counter lies outside the window");
    for (const Rect& r : targets)
        if (!inside(r))
            return fail("a target place lies outside the window");

    double grabTotal = 0;
    long grabs = 0;
    auto grab = [&](double& at) {
        const double before = monotonicMs();
        xcb_get_image_reply_t* image = readBack(c, window, width, height, at);
        grabTotal += at - before;
        ++grabs;
        return image;
    };

    // The empty places: the first frame that has stood for half a second.
    std::vector<std::string> empty;
    {
        std::string last;
        double changed = monotonicMs();
        for (;;) {
            double at = 0;
            xcb_get_image_reply_t* image = grab(at);
            if (!image)
                return fail("the window went away");
            std::string all(reinterpret_cast<const char*>(xcb_get_image_data(image)),
                            size_t(xcb_get_image_data_length(image)));
            if (all != last) {
                last = std::move(all);
                changed = at;
                empty.clear();
                for (const Rect& r : targets)
                    empty.push_back(pixelsOf(image, width, r));
            }
            std::free(image);
            if (at - changed >= 500)
                break;
            if (at - launched > 60000)
                return fail("the window never settled");
            usleep(5000);
        }
    }

    auto pointer = [&](int x, int y) {
        xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<int16_t>(left + x),
                            static_cast<int16_t>(top + y), 0);
        xcb_flush(c);
        usleep(20000);
    };
    auto press = [&] {
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(c);
        usleep(30000);
    };
    auto release = [&] {
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(c);
    };
    // The place that shows a figure, or -1.
    auto figureIn = [&](xcb_get_image_reply_t* image) {
        for (size_t i = 0; i < targets.size(); ++i)
            if (pixelsOf(image, width, targets[i]) != empty[i])
                return static_cast<int>(i);
        return -1;
    };

    pointer(start.x, start.y);
    press();
    release();
    int current = -1;
    for (const double since = monotonicMs(); current < 0;) {
        double at = 0;
        xcb_get_image_reply_t* image = grab(at);
        if (!image)
            return fail("the window went away");
        current = figureIn(image);
        std::free(image);
        if (at - since > 10000)
            return fail("no figure within 10 s of the start click");
    }

    for (int done = 0; done < hits;) {
        usleep(150000); // a player's pace: each shot starts from steady play
        double at = 0;
        xcb_get_image_reply_t* image = grab(at);
        if (!image)
            return fail("the window went away");
        const std::string before = pixelsOf(image, width, counter);
        std::free(image);
        const Rect& t = targets[static_cast<size_t>(current)];
        pointer(t.x + t.w / 2, t.y + t.h / 2);
        press();
        const double released = monotonicMs();
        release();
        bool hit = false;
        for (;;) {
            image = grab(at);
            if (!image)
                return fail("the window went away");
            const bool counted = pixelsOf(image, width, counter) != before;
            const int next = counted ? figureIn(image) : -1;
            std::free(image);
            if (next >= 0) {
                std::printf("hit_ms %.3f\n", at - released);
                std::fflush(stdout);
                current = next;
                hit = true;
                break;
            }
            if (at - released > 5000)
                break;
        }
        if (hit) {
            ++done;
            continue;
        }
        std::printf("miss\n");
        std::fflush(stdout);
        image = grab(at);
        if (!image)
            return fail("the window went away");
        current = figureIn(image);
        std::free(image);
        if (current < 0)
            return fail("no figure on screen after a miss");
    }

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    xcb_disconnect(c);
    std::printf("grab_ms %.3f\n", grabTotal / double(grabs ? grabs : 1));
    return 0;
}
