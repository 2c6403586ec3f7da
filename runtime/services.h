// The services a handler may call: conversions between numbers and text,
// random numbers, the message box, program end and runtime errors; and the
// texts and font sizes every host shows alike.
#pragma once

#include "design.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rt {

// Runtime error numbers, as reported to the player.
enum class ErrorNumber : int { Overflow = 6, DivisionByZero = 11, TypeMismatch = 13 };

// Raised by a service; ends the running handler and, through Form, the program.
struct RuntimeError {
    ErrorNumber number;
    std::string description;
};

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

} // namespace rt
