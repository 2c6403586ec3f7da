// The one timetable of a Form's timers, and its catch-up rule.
#include "timer_schedule.h"

#include <algorithm>
#include <utility>
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
        slot.due.reset();
    for (Slot& slot : slots_)
        if (!form_.ended() && slot.timer->running())
            slot.due = now + interval(slot);
}

void TimerSchedule::takeChanges(Time now)
{
    // In order: a timer stopped and started again within one event is due
    // afresh, as one that starts.
    for (const Form::TimerChange& change : form_.timerChanges_) {
        Slot* slot = slotOf(*change.timer);
        if (!slot)
            continue;
        if (!started_ || form_.ended() || !change.running)
            slot->due.reset();
        else if (!slot->due)
            slot->due = now + interval(*slot);
    }
    form_.timerChanges_.clear();
    if (const std::optional<Time> closed = std::exchange(form_.boxClosedAt_, std::nullopt)) {
        for (Slot& slot : slots_) {
            if (!slot.due || *slot.due > *closed)
                continue;
            const Time step = interval(slot);
            *slot.due += ((*closed - *slot.due) / step + 1) * step;
        }
    }
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
    takeChanges(now);
    // The host hears of each changed control once, when the last tick is in.
    struct Held {
        Form& form;
        explicit Held(Form& f) : form(f) { form.holdChanges(); }
        ~Held() { form.releaseChanges(); }
    } held(form_);
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
        const Time at = *next->due;
        *next->due += interval(*next);
        // The tick may stop, restart or put to sleep any timer, this one too.
        form_.tick(*next->timer);
        ++delivered;
        takeChanges(at);
    }
}

TimerSchedule::Time testClockOffset()
{
    // Looked up once: the hosts read their clock at every timer event.
    static const char* const path = std::getenv("SKEETRA_TEST_CLOCK_FILE");
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
