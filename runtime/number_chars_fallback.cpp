// Floating-point text conversions for a standard library that lacks the
// floating-point std::to_chars and std::from_chars, built on the C library's
// exact snprintf and correctly rounded strtod/strtof. It gives the same
// texts as the standard functions: the shortest digits are found by trying
// 1 to 17 significant digits (9 for a float) until the text reads back to
// the value.
#include "number_chars.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace rt::detail {

namespace {

double readBack(const char* text, double) { return std::strtod(text, nullptr); }
float readBack(const char* text, float) { return std::strtof(text, nullptr); }

template <class T> constexpr int kMaxDigits = sizeof(T) == sizeof(float) ? 9 : 17;

// A positive finite value as digits d1 d2 ... dn (no trailing zero) times
// 10^(exponent - n + 1): d1.d2...dn x 10^exponent.
struct Decimal {
    char digits[24];
    int count = 0;
    int exponent = 0;
};

// Significant digits as a whole number: 1234 for 1.234e+5.
Decimal fromWhole(std::uint64_t whole, int exponentOfLast)
{
    Decimal d;
    while (whole % 10 == 0 && whole != 0) {
        whole /= 10;
        ++exponentOfLast;
    }
    char reversed[24];
    int n = 0;
    do {
        reversed[n++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    for (int i = 0; i < n; ++i)
        d.digits[i] = reversed[n - 1 - i];
    d.count = n;
    d.exponent = exponentOfLast + n - 1;
    return d;
}

template <class T> bool readsBack(std::uint64_t whole, int exponentOfLast, T value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%llue%d", static_cast<unsigned long long>(whole), exponentOfLast);
    return readBack(text, value) == value;
}

template <class T> Decimal shortest(T value)
{
    char text[48];
    for (int precision = 1;; ++precision) {
        // Correctly rounded to `precision` digits: "d.ddde+XX".
        std::snprintf(text, sizeof text, "%.*e", precision - 1, static_cast<double>(value));
        char* e = std::strchr(text, 'e');
        std::uint64_t whole = 0;
        for (const char* p = text; p != e; ++p)
            if (*p != '.')
                whole = whole * 10 + std::uint64_t(*p - '0');
        const int exponentOfLast = std::atoi(e + 1) - (precision - 1);
        if (readBack(text, value) == value || precision >= kMaxDigits<T>)
            return fromWhole(whole, exponentOfLast);
        // At a power of two the values that read back lie closer on one
        // side than on the other: the nearest text of this length may fall
        // just outside on the narrow side while its neighbour on the wide
        // side reads back, and the standard functions take that neighbour.
        if (readsBack(whole + 1, exponentOfLast, value))
            return fromWhole(whole + 1, exponentOfLast);
        if (whole > 1 && readsBack(whole - 1, exponentOfLast, value))
            return fromWhole(whole - 1, exponentOfLast);
    }
}

struct Writer {
    char* out;
    char* last;
    bool full = false;
    void put(char c)
    {
        if (out == last)
            full = true;
        else
            *out++ = c;
    }
    void put(const char* s, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
            put(s[i]);
    }
    std::to_chars_result result() const
    {
        if (full)
            return {last, std::errc::value_too_large};
        return {out, std::errc()};
    }
};

std::string scientific(const Decimal& d)
{
    std::string s(1, d.digits[0]);
    if (d.count > 1) {
        s += '.';
        s.append(d.digits + 1, std::size_t(d.count - 1));
    }
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
    return s + exponent;
}

// Fixed notation of the shortest digits. A whole number gets its exact
// digits, not the shortest ones padded with zeros: 2^60 is
// "1152921504606846976", not "1152921504606847000"; every double from 2^53
// (a float from 2^24) on is whole.
template <class T> std::string fixed(const Decimal& d, T value)
{
    if (d.exponent >= d.count - 1) {
        char text[400];
        const int n = std::snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
        return std::string(text, std::size_t(n));
    }
    if (d.exponent >= 0) {
        std::string s(d.digits, std::size_t(d.exponent + 1));
        s += '.';
        s.append(d.digits + d.exponent + 1, std::size_t(d.count - d.exponent - 1));
        return s;
    }
    // Subnormal numbers too: the digits stand after all the zeros they need.
    std::string s = "0.";
    s.append(std::size_t(-d.exponent - 1), '0');
    s.append(d.digits, std::size_t(d.count));
    return s;
}

enum class Notation { Shortest, Fixed, Scientific };

template <class T> std::to_chars_result convert(char* first, char* last, T value, Notation notation)
{
    Writer w{first, last};
    if (std::signbit(value))
        w.put('-');
    if (std::isnan(value)) {
        w.put("nan", 3);
        return w.result();
    }
    if (std::isinf(value)) {
        w.put("inf", 3);
        return w.result();
    }
    std::string text;
    if (value == 0) {
        text = notation == Notation::Scientific ? "0e+00" : "0";
    } else {
        const Decimal d = shortest(std::fabs(value));
        switch (notation) {
        case Notation::Fixed: text = fixed(d, std::fabs(value)); break;
        case Notation::Scientific: text = scientific(d); break;
        case Notation::Shortest: {
            std::string f = fixed(d, std::fabs(value));
            std::string s = scientific(d);
            text = f.size() <= s.size() ? std::move(f) : std::move(s); // a tie goes to fixed
            break;
        }
        }
    }
    w.put(text.data(), text.size());
    return w.result();
}

Notation notationOf(std::chars_format format)
{
    return format == std::chars_format::scientific ? Notation::Scientific : Notation::Fixed;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool startsWithNoCase(const char* p, const char* last, const char* word)
{
    for (; *word; ++word, ++p)
        if (p == last || (*p | 0x20) != *word)
            return false;
    return true;
}

} // namespace

std::to_chars_result toChars(char* first, char* last, double value)
{
    return convert(first, last, value, Notation::Shortest);
}

std::to_chars_result toChars(char* first, char* last, float value)
{
    return convert(first, last, value, Notation::Shortest);
}

std::to_chars_result toChars(char* first, char* last, double value, std::chars_format format)
{
    return convert(first, last, value, notationOf(format));
}

std::to_chars_result toChars(char* first, char* last, float value, std::chars_format format)
{
    return convert(first, last, value, notationOf(format));
}

// The general format: an optional minus, digits with an optional point and
// an optional exponent, or inf, infinity, nan and nan(...). No plus sign, no
// blanks, no hexadecimal. An exponent without digits is not part of the
// number. A value too large for a double, or a nonzero one too small for
// its smallest subnormal, is out of range; in any failure value is untouched.
std::from_chars_result fromChars(const char* first, const char* last, double& value)
{
    const char* p = first;
    const bool negative = p != last && *p == '-';
    if (negative)
        ++p;

    if (startsWithNoCase(p, last, "inf")) {
        p += startsWithNoCase(p, last, "infinity") ? 8 : 3;
        value = negative ? -HUGE_VAL : HUGE_VAL;
        return {p, std::errc()};
    }
    if (startsWithNoCase(p, last, "nan")) {
        p += 3;
        if (p != last && *p == '(') {
            const char* q = p + 1;
            while (q != last && (isDigit(*q) || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z') || *q == '_'))
                ++q;
            if (q != last && *q == ')')
                p = q + 1;
        }
        value = negative ? -std::nan("") : std::nan("");
        return {p, std::errc()};
    }

    const char* start = p;
    bool anyDigit = false, nonzero = false;
    while (p != last && isDigit(*p)) {
        anyDigit = true;
        nonzero = nonzero || *p != '0';
        ++p;
    }
    if (p != last && *p == '.') {
        ++p;
        while (p != last && isDigit(*p)) {
            anyDigit = true;
            nonzero = nonzero || *p != '0';
            ++p;
        }
    }
    if (!anyDigit)
        return {first, std::errc::invalid_argument};
    if (p != last && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q != last && (*q == '+' || *q == '-'))
            ++q;
        if (q != last && isDigit(*q)) {
            while (q != last && isDigit(*q))
                ++q;
            p = q;
        }
    }

    const std::string text(start, p);
    const double read = std::strtod(text.c_str(), nullptr);
    if (std::isinf(read) || (read == 0 && nonzero))
        return {p, std::errc::result_out_of_range};
    value = negative ? -read : read;
    return {p, std::errc()};
}

} // namespace rt::detail
