// Conversions between captions and numbers, random numbers, runtime errors,
// and the few texts and font sizes every host shows alike.
#include "services.h"

#include "form.h"
#include "number_chars.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace rt {

namespace {

std::string_view describe(ErrorNumber number)
{
    switch (number) {
    case ErrorNumber::Overflow: return "Переполнение";
    case ErrorNumber::DivisionByZero: return "Деление на ноль";
    case ErrorNumber::TypeMismatch: return "Несоответствие типов";
    }
    return "Ошибка";
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

template <class T> std::string numberText(T value)
{
    if (value == 0)
        return "0"; // also for minus zero, which a player would not understand
    char buffer[64];
    // Captions hold plain decimal text, and the shortest form would write
    // 100000 as "1e+05": whole numbers short of 10^15 get all their digits.
    const bool plainWhole = std::fabs(double(value)) < 1e15 && std::trunc(value) == value;
    auto [end, ec] = plainWhole ? detail::toChars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed)
                                : detail::toChars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

std::mt19937& generator()
{
    static std::mt19937 engine{5489u};
    return engine;
}

// The generator is state outside the controls: a tick that draws a number
// or seeds it does not do the same the next time, so it is a change.
void generatorUsed()
{
    if (Form* form = Form::current())
        form->markChanged();
}

} // namespace

void raiseError(ErrorNumber number) { throw RuntimeError{number, std::string(describe(number))}; }

void raiseFloatError() { raiseError(ErrorNumber::Overflow); }

double checkedResult(double value)
{
    if (!std::isfinite(value))
        raiseFloatError();
    return value;
}

float checkedResult(float value)
{
    if (!std::isfinite(value))
        raiseFloatError();
    return value;
}

double textToDouble(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would also take "inf", "nan" and hexadecimal forms; a
    // caption holds plain decimal numbers only.
    const bool startsLikeNumber =
        !text.empty() && (isDigit(text.front()) || (text.front() == '.' && text.size() > 1 && isDigit(text[1])));
    if (!startsLikeNumber)
        raiseError(ErrorNumber::TypeMismatch);

    // Captions hold small whole numbers, read a thousand times a second.
    // Up to 15 digits every such number is exact in a double, so reading
    // them directly gives what from_chars would.
    if (text.size() <= 15) {
        double whole = 0;
        std::size_t i = 0;
        while (i < text.size() && isDigit(text[i]))
            whole = whole * 10 + (text[i++] - '0');
        if (i == text.size())
            return negative ? -whole : whole;
    }

    double value = 0;
    auto [end, ec] = detail::fromChars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range)
        raiseError(ErrorNumber::Overflow);
    if (ec != std::errc() || end != text.data() + text.size())
        raiseError(ErrorNumber::TypeMismatch);
    return negative ? -value : value;
}

std::string doubleToText(double value) { return numberText(value); }
std::string singleToText(float value) { return numberText(value); }

void randomize()
{
    generatorUsed();
    const auto wall = std::chrono::system_clock::now().time_since_epoch().count();
    const auto steady = std::chrono::steady_clock::now().time_since_epoch().count();
    std::seed_seq seq{static_cast<std::uint32_t>(wall), static_cast<std::uint32_t>(wall >> 32),
                      static_cast<std::uint32_t>(steady), static_cast<std::uint32_t>(steady >> 32)};
    generator().seed(seq);
}

void seedRandom(std::uint64_t seed)
{
    generatorUsed();
    std::seed_seq seq{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)};
    generator().seed(seq);
}

float nextRandom()
{
    generatorUsed();
    // 24 random bits are exactly a float's precision: every value is
    // representable, so nothing can round up to 1.
    constexpr float kScale = 1.0f / 16777216.0f;
    return static_cast<float>(generator()() >> 8) * kScale;
}

float integerPart(float value) { return std::floor(value); }

std::string runtimeErrorText(int number, std::string_view description)
{
    return "Ошибка выполнения " + std::to_string(number) + ":\n\n" + std::string(description);
}

std::string runtimeErrorLine(int number, std::string_view description)
{
    return "skeetra: runtime error " + std::to_string(number) + ": " + std::string(description);
}

void warnOfArguments(int argc)
{
    if (argc > 1)
        std::fprintf(stderr, "skeetra: the command line is ignored: the game takes no arguments\n");
}

const FontDesign& fontOf(const FormDesign& design, const FontDesign& font)
{
    return font.points > 0 ? font : design.defaultFont;
}

int fontPixels(const FontDesign& font) { return static_cast<int>(std::lround(font.points * 96.0 / 72.0)); }

} // namespace rt
