// The one timetable of a Form's timers, and its catch-up rule.
#include "timer_schedule.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace rt {

TimerSchedule::TimerSchedule(Form& form) : form_(form)
{
    for (const auto& c : form.controls())
        if (c->kind() == ControlKind::Timer)
            slots_.push_back({static_cast<Timer*>(c.get()), std::nullopt});
}

TimerSchedule::Time TimerSchedule::interval(const Slot& slot) const
{
    // An interval of 0 or less still ticks, as fast as a millisecond allows.
    return std::chrono::milliseconds(std::max(1, slot.timer->Interval()));
}

TimerSchedule::Slot* TimerSchedule::slotOf(const Timer& timer)
{
    for (Slot& slot : slots_)
        if (slot.timer == &timer)
            return &slot;
    return nullptr;
}

void TimerSchedule::start(Time now)
{
    started_ = true;
    for (Slot& slot : slots_)
        timerChanged(*slot.timer, now);
}

void TimerSchedule::timerChanged(Timer& timer, Time now)
{
    Slot* slot = slotOf(timer);
    if (!slot)
        return;
    if (!started_ || form_.ended() || !timer.running())
        slot->due.reset();
    else if (!slot->due)
        slot->due = firing_.value_or(now) + interval(*slot);
}

std::optional<TimerSchedule::Time> TimerSchedule::nextDue() const
{
    std::optional<Time> next;
    if (form_.ended())
        return next;
    for (const Slot& slot : slots_)
        if (slot.due && (!next || *slot.due < *next))
            next = slot.due;
    return next;
}

long long TimerSchedule::fire(Time now)
{
    if (form_.busy()) {
        for (Slot& slot : slots_) {
            if (!slot.due || *slot.due > now)
                continue;
            const Time step = interval(slot);
            *slot.due += ((now - *slot.due) / step + 1) * step;
        }
        return 0;
    }
    // The host hears of each changed control once, when the last tick is in.
    struct Held {
        TimerSchedule& schedule;
        explicit Held(TimerSchedule& s) : schedule(s) { schedule.form_.holdChanges(); }
        ~Held()
        {
            schedule.firing_.reset();
            schedule.form_.releaseChanges();
        }
    } held(*this);
    long long delivered = 0;
    for (;;) {
        if (form_.ended())
            return delivered;
        Slot* next = nullptr;
        for (Slot& slot : slots_)
            if (slot.due && *slot.due <= now && (!next || *slot.due < *next->due))
                next = &slot;
        if (!next)
            return delivered;
        firing_ = *next->due;
        *next->due += interval(*next);
        // The tick may stop, restart or put to sleep any timer, this one too.
        form_.tick(*next->timer);
        ++delivered;
    }
}

TimerSchedule::Time testClockOffset()
{
    const char* const path = std::getenv("SKEETRA_TEST_CLOCK_FILE");
    if (!path || !*path)
        return {};
    long long ms = 0;
    if (std::FILE* file = std::fopen(path, "r")) {
        if (std::fscanf(file, "%lld", &ms) != 1)
            ms = 0;
        std::fclose(file);
    }
    return std::chrono::milliseconds(ms);
}

} // namespace rt
