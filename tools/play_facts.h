// What a player of Form1 reads and does, as the end-to-end tests and the
// benchmarks of every platform need it: which control shows what, where a
// click lands on nothing, the counts a game starts and ends at, the loss
// message. Typed here once; the C++ drivers include it, and the design table
// carries it to the page's driver.
#pragma once

#include <array>
#include <string_view>

namespace skeetra::play {

// The controls by what they show the player.
inline constexpr std::string_view kAmmunition = "Label6";
inline constexpr std::string_view kKills = "Label5";
inline constexpr std::string_view kClock = "Label7";
inline constexpr std::string_view kAmmunitionTitle = "Label3"; // the first label of the status strip
inline constexpr std::string_view kInstructions = "Label8";
inline constexpr std::string_view kExitCaption = "Label1";
inline constexpr std::string_view kWinBox = "Label11";
inline constexpr std::string_view kFinalTime = "Label12";
inline constexpr std::string_view kStartSign = "Image1";
// The timer whose ticks the clock counts, and the referee's, which shows
// the next target.
inline constexpr std::string_view kClockTimer = "Timer1";
inline constexpr std::string_view kRefereeTimer = "Timer2";

inline constexpr int kStartAmmunition = 120;
inline constexpr int kWinningKills = 100;
inline constexpr std::string_view kLossMessage = "У вас кончились патроны. Вы проиграли!";

// Client-area points where no control lies during play; before play none
// is on a shown control either. Away from the middle, where a box may open.
struct Point {
    int x, y;
};
inline constexpr std::array<Point, 4> kBarePoints{{{420, 300}, {10, 300}, {300, 410}, {110, 70}}};

// How long a thing that must not happen is given to happen anyway. Too
// short only lets a fault slip by; it can never fail a correct game.
inline constexpr int kQuietMs = 300;
// How long a driver waits for what must happen: generous, as a loaded
// machine may be slow, never wrong.
inline constexpr int kWaitMs = 20000;

} // namespace skeetra::play
