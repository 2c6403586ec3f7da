// The forms runtime as the game sees it: design-time descriptions of a window
// and its controls, the live controls the handlers read and write, event
// delivery, and the services a handler may call (conversions, random numbers,
// message box, program end, runtime errors).
//
// Nothing here names a platform, so rules written against this header can be
// driven directly by tests. Each platform has a host that shows a Form and
// feeds it events: runtime/qt/ (Linux), runtime/win32/ (Windows) and
// runtime/web/ (the browser), side by side.
//
// What a host owes:
// - Build the Form, bind the game to it, call Form::setHost with itself, and
//   raise load(); then show the window and call Form::startTimers() only if
//   load() did not end the program.
// - Work in design pixels: scale what it draws, and divide what the mouse
//   gives, rounding down, before press() and release().
// - Repaint a control's rectangle on controlChanged.
// - Give the time of a monotonic clock (now()), and keep one wake-up: at
//   wakeAt's time, or none, call Form::wake(). The Form keeps every
//   timer's due time and delivers the ticks; timers tick nowhere else.
// - Keep its event loop running while messageBox waits for the player
//   (painting, closing the window), and return from it once the box is
//   answered or the program has ended.
// - On errorReported show runtimeErrorText in a box and write
//   runtimeErrorLine; on programEnded stop waking, leave its loop and exit
//   with the status given.
// What it may rely on:
// - The Form takes one event at a time: while a handler runs, every event
//   it is given is refused, so the host need not queue or filter them.
// - After programEnded nothing is due and no handler runs again.
// - Handlers reach the platform only through Host.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// ---------------------------------------------------------------- design time

// Positions and sizes are designed in twips; at 96 dots per inch a pixel is 15.
inline constexpr int kTwipsPerPixel = 15;
constexpr int twipsToPixels(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

struct Colour {
    enum class Kind : std::uint8_t { Rgb, System };
    Kind kind = Kind::System;
    std::uint8_t r = 0, g = 0, b = 0;
    int system = 0; // platform colour number, resolved by the host from its palette
};
constexpr Colour rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return {Colour::Kind::Rgb, r, g, b, 0}; }
constexpr Colour systemColour(int number) { return {Colour::Kind::System, 0, 0, 0, number}; }

// System colour numbers the designs use; the host maps them to its palette.
inline constexpr int kButtonFace = 15;
inline constexpr int kButtonText = 18;
inline constexpr int kTooltipText = 23;

struct FontDesign {
    std::string_view family; // design name; the host maps it to a bundled face
    double points = 0;       // 0: the window's default font
};

// A font family named by designs, and the bundled face that stands in for it.
struct FontFace {
    std::string_view family;
    std::string_view resource;
};

enum class ControlKind : std::uint8_t { Label, Image, Timer };
enum class BackStyle : std::uint8_t { Transparent, Opaque };

struct TwipRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct ControlDesign {
    std::string_view name{};
    ControlKind kind = ControlKind::Label;
    TwipRect place{};
    bool visible = true;
    std::string_view caption{};
    FontDesign font{};
    Colour foreColour = systemColour(kButtonText);
    BackStyle backStyle = BackStyle::Opaque;
    Colour backColour = systemColour(kButtonFace);
    int tabIndex = 0;
    std::string_view picture{}; // resource path; empty: draws nothing
    int interval = 0;         // timers, milliseconds
    bool enabled = true;      // timers
};

struct FormDesign {
    std::string_view name{};
    std::string_view appTitle{}; // the title of message boxes
    std::string_view version{};
    std::string_view caption{};
    TwipRect client{}; // client area on the screen
    Colour backColour{};
    std::string_view picture{};
    std::string_view icon{};
    std::string_view mouseIcon{};
    int mouseHotX = 0, mouseHotY = 0;
    FontDesign defaultFont{};
    std::span<const FontFace> fonts{};
    std::span<const ControlDesign> controls{}; // stacking order, topmost first
};

// ---------------------------------------------------------------- run time

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(int x, int y) const { return x >= left && x < left + width && y >= top && y < top + height; }
};

class Form;
class TimerSchedule;

class Control {
public:
    Control(Form& form, const ControlDesign& design);
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const ControlDesign& design() const { return design_; }
    std::string_view name() const { return design_.name; }
    ControlKind kind() const { return design_.kind; }
    PixelRect rect() const;

    bool Visible() const { return visible_; }
    void setVisible(bool visible);

    // The handler of the control's one event: a click for labels and pictures,
    // a tick for timers. Empty: the event is taken and nothing happens.
    std::function<void()> handler;

protected:
    Form& form_;
    const ControlDesign& design_;
    bool visible_;

private:
    friend class Form;
    bool changeHeld_ = false; // changed while the form holds changes back
};

class Label : public Control {
public:
    Label(Form& form, const ControlDesign& design);
    const std::string& Caption() const { return caption_; }
    void setCaption(std::string caption);

private:
    std::string caption_;
};

class Image : public Control {
public:
    using Control::Control;
};

class Timer : public Control {
public:
    Timer(Form& form, const ControlDesign& design);
    int Interval() const { return design_.interval; }
    bool Enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    // Whether it is due to tick on its own (it has a due time): enabled
    // and not asleep (see Form). Nothing the handlers read depends on it.
    bool running() const { return enabled_ && !asleep_; }

private:
    friend class Form;
    bool enabled_;
    bool asleep_ = false; // its last tick changed nothing, nor has anything since
    bool woken_ = false;  // woken by a change; it has not ticked on its own since
    bool due_ = false;    // in a wake round: the form changed since its last tick
    bool answered_ = false; // in a wake round: one of its ticks changed the form
};

// What a Form asks of the platform that shows it: each platform's window is
// one host; tests use their own.
class Host {
public:
    // A monotonic clock's reading, from an epoch of the host's choosing.
    using Time = std::chrono::nanoseconds;

    virtual ~Host() = default;
    virtual Time now() const = 0;
    // Call Form::wake() once at `at` or soon after, in place of any wake-up
    // asked for before; a time already past means at once, none means
    // never. Waking early is harmless: the Form asks again.
    virtual void wakeAt(std::optional<Time> at) = 0;
    virtual void controlChanged(Control&) {}
    // The timer's running() changed. The Form arms the wake-up itself, so
    // there is nothing to do; tests watch timers sleep through it.
    virtual void timerChanged(Timer&) {}
    // Whether the host ticks a timer only while its running() is true, so
    // that timers may sleep. A host that ticks timers on a schedule of its
    // own, as a scripted test does, says no: then running() is Enabled(),
    // and every timer gets the ticks it is given and no others.
    virtual bool followsRunning() const { return true; }
    virtual void messageBox(std::string_view text) = 0;
    virtual void errorReported(int number, std::string_view description) = 0;
    virtual void programEnded(int status) = 0;
};

// The window and its controls, built from a design, and the one place that
// delivers events to handlers.
//
// The rule every handler keeps: it holds no state of its own between events
// (everything it knows lives in the controls) and it reaches the outside
// only through the runtime's services below. So what a timer's tick does
// depends on the form alone, and once a tick has changed nothing, each
// further tick would change nothing either until something changes the form.
// Form uses this to let timers sleep instead of waking the process for
// nothing; a handler that broke the rule (counted its own ticks, read a
// clock) could sleep through a tick that would have done something.
//
// Sleeping timers:
// - After a tick that changed nothing the timer sleeps: it stays Enabled,
//   running() turns false and it has no due time.
// - "Changed" is strict: a property taking a new value (writing the value a
//   property already has is no change), a random number drawn or the
//   generator seeded, a message box, the program's end, a runtime error.
// - Any change wakes every sleeping timer. A woken timer ticks at once,
//   inside the delivery of the event that changed the form and so before
//   any other event, and again after each further change until its own
//   due time comes; from then on it ticks at its interval for as
//   long as its ticks change something. A timer whose every tick changes
//   something never sleeps, and its due times are never moved.
// - Within one event each woken timer ticks again only after another
//   timer's tick has changed the form, and each changes the form at most
//   once, so timers answering one another cannot keep the event going.
// - Enabling a disabled timer starts it as always; the program's end stops
//   every timer.
class Form {
public:
    explicit Form(const FormDesign& design);
    ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const FormDesign& design() const { return design_; }
    int clientWidth() const { return twipsToPixels(design_.client.width); }
    int clientHeight() const { return twipsToPixels(design_.client.height); }

    void setHost(Host* host) { host_ = host; }
    Host* host() const { return host_; }

    Label& label(std::string_view name);
    Image& image(std::string_view name);
    Timer& timer(std::string_view name);
    Control* find(std::string_view name);
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }

    std::function<void()> onLoad;
    std::function<void()> onClick; // a click where no shown control lies

    // The shown label or picture highest in the stacking order under the
    // point, or null where the click belongs to the window itself.
    Control* controlAt(int x, int y) const;

    // Event delivery. Each returns at once when the program has ended or a
    // handler is still running (a message box is open).
    void load();
    void click(Control* target); // null: the window
    void clickAt(int x, int y) { click(controlAt(x, y)); }
    void tick(Timer& timer);

    // The mouse button, at points of the client area in design pixels. A
    // click is a press and a release on the same control, or both where no
    // shown control lies, released inside the client area; the second press
    // of a double click is a press like any other.
    void press(int x, int y);
    void release(int x, int y);
    // The press will see no release here: the platform took the mouse away.
    void cancelPress() { pressed_ = false; }

    // Closing the window ends the program; no handler runs for it.
    void close();

    // Time. After load(), unless it ended the program, the host starts the
    // timers: those enabled are due one interval from its now(). From then
    // on the Form asks the host for one wake-up at the earliest due time
    // (Host::wakeAt), and wake() is the host's one entry point when it
    // comes: every tick due by now() is delivered (timer_schedule.h), and
    // the next wake-up asked for. Returns the ticks delivered.
    void startTimers();
    long long wake();

    bool ended() const { return ended_; }
    // A handler is running (waiting on a message box): no event is taken.
    bool busy() const { return depth_ > 0; }
    int exitStatus() const { return exitStatus_; }

    // Runtime services reach the form whose handler is running through this.
    static Form* current();
    // A service did something a handler could observe other than through a
    // property (drew a random number, showed a box): the form has changed.
    void markChanged();

    // While held, the host hears of each changed control once, when the
    // hold ends or before a message box opens, not at every change: ticks
    // made up after a hold-up repaint once, not once a tick.
    void holdChanges() { ++holding_; }
    void releaseChanges();
    // Tells the host now of the changes held so far; the hold goes on.
    void reportHeldChanges();

private:
    friend class Control;
    friend class Label;
    friend class Timer;
    friend class TimerSchedule;
    // Each public entry point is one: when the outermost returns, the
    // timers started and stopped meanwhile reach the schedule and the host
    // is asked for the next wake-up.
    struct Entry;
    void askForWakeUp();
    void boxClosed();
    friend void messageBox(std::string_view text);
    bool deliver(const std::function<void()>& handler); // whether the form changed
    void end(int status);
    void changed(Control& control);
    bool timersMaySleep() const { return host_ && host_->followsRunning(); }
    void runningChanged(Timer& timer, bool wasRunning);
    void afterTick(Timer& timer, bool changed);
    void wakeSleepers();
    void answerChange(Timer* ticked);

    const FormDesign& design_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::vector<Timer*> timers_;
    Host* host_ = nullptr;
    bool ended_ = false;
    int exitStatus_ = 0;
    int depth_ = 0;
    bool pressed_ = false;
    Control* pressTarget_ = nullptr;
    bool changed_ = false; // by the handler now running
    int holding_ = 0;
    std::vector<Control*> held_; // changed while holding, in the order of their first change

    std::unique_ptr<TimerSchedule> schedule_;
    struct TimerChange {
        Timer* timer;
        bool running;
    };
    std::vector<TimerChange> timerChanges_; // not yet taken by the schedule, in order
    std::optional<Host::Time> boxClosedAt_; // a box closed since the schedule last looked
    int entered_ = 0;
    std::optional<std::optional<Host::Time>> asked_; // the wake-up the host holds, if any is known
};

// ---------------------------------------------------------------- services

// Runtime error numbers, as reported to the player.
enum class ErrorNumber : int { Overflow = 6, DivisionByZero = 11, TypeMismatch = 13 };

// Raised by a service; ends the running handler and, through Form, the program.
struct RuntimeError {
    ErrorNumber number;
    std::string description;
};

inline constexpr int kRuntimeErrorStatus = 1;
// The window could not be opened or its display was lost.
inline constexpr int kNoDisplayStatus = 2;

[[noreturn]] void raiseError(ErrorNumber number);
// After an arithmetic step that overflowed, divided by zero or was invalid.
[[noreturn]] void raiseFloatError();
// Passes a finite result through; raises the floating-point error otherwise.
double checkedResult(double value);
float checkedResult(float value);

// Reads what doubleToText writes, with blanks around it; anything else,
// the empty text included, is a type mismatch.
double textToDouble(std::string_view text);
// The shortest text that reads back to the same value; whole numbers have no
// point, and below 10^15 in magnitude no exponent either: "100000", not "1e+05".
std::string doubleToText(double value);
std::string singleToText(float value);

// What a host shows and writes for a runtime error: the box's text, and the
// line for stderr (or the page's console), without its newline.
std::string runtimeErrorText(int number, std::string_view description);
std::string runtimeErrorLine(int number, std::string_view description);
// The game takes no command line; a host given one says so on stderr, once.
void warnOfArguments(int argc);

// The face a control's text is drawn in: its own, or the window's default
// where it names no size.
const FontDesign& fontOf(const FormDesign& design, const FontDesign& font);
// Designs give points at 96 dots per inch; the pixel size keeps the text the
// size it was designed at on every screen (hosts multiply by their scale).
int fontPixels(const FontDesign& font);

// Random numbers: seeded from the clock by randomize, or fixed for tests.
void randomize();
void seedRandom(std::uint64_t seed);
float nextRandom(); // at least 0, below 1
float integerPart(float value); // toward minus infinity

// Modal box with an OK button; returns when the player closes it.
void messageBox(std::string_view text);

// Ends the program at once: the window goes, the timers stop, no further
// handler runs, and the rest of the calling handler does not run.
[[noreturn]] void endProgram();

// ---------------------------------------------------------------- start

// The project: the one form, and what binds the game's handlers to it.
struct Project {
    const FormDesign& form;
    std::function<std::shared_ptr<void>(Form&)> bind;
};

template <class Module> Project project()
{
    return {Module::design(), [](Form& form) -> std::shared_ptr<void> { return std::make_shared<Module>(form); }};
}

// Builds the form, raises its load event, shows it and delivers events until
// the program ends; returns the process exit status.
int runApplication(int argc, char** argv, const Project& project);

} // namespace rt
