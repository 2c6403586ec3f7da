// A host for driving a Form without a screen: it remembers what the program
// showed the player, how it ended, when each timer started and stopped, and
// the wake-up it was asked for, on a clock the test sets. Most tests tick
// timers by hand, on a script of their own, and never start them, so no
// timer sleeps; tests of sleeping start the timers (Form::startTimers) on
// this clock, as every platform does, and tick only running timers.
#pragma once

#include "forms.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct RecordingHost : rt::Host {
    std::vector<std::string> boxes;
    std::vector<int> errors;
    std::vector<int> ends;
    // Runs while a message box is "open", as the platform's event loop would.
    std::function<void()> whileBoxOpen;
    // "Timer2 stopped", "Timer2 started", in order; tests may add their own
    // entries (a tick) to see the order of both.
    std::vector<std::string> timerLog;
    // The clock, as the test sets it, the wake-up last asked for, and how
    // many times one was asked for.
    Time clock{};
    std::optional<Time> wakeUp;
    int wakeUpsAsked = 0;

    Time now() const override { return clock; }
    void wakeAt(std::optional<Time> at) override
    {
        wakeUp = at;
        ++wakeUpsAsked;
    }

    void messageBox(std::string_view text) override
    {
        boxes.emplace_back(text);
        if (whileBoxOpen)
            whileBoxOpen();
    }
    void errorReported(int number, std::string_view) override { errors.push_back(number); }
    void programEnded(int status) override { ends.push_back(status); }
    void timerChanged(rt::Timer& timer) override
    {
        timerLog.push_back(std::string(timer.name()) + (timer.running() ? " started" : " stopped"));
    }
};
