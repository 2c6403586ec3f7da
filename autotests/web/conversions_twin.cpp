// The captions' number texts on a table of edge cases and on random values,
// one line each, so that the program built for the page (whose standard
// library may lack the floating-point charconv) and the native one can be
// compared line by line. The random values come from a fixed generator, the
// same on every platform.
//
//   conversions_twin [COUNT [KINDS]]
//
// COUNT random values of each kind (100000); KINDS picks among d (doubles
// written), f (floats written) and t (texts read), all three by default, so
// that the slow WebAssembly half can be run in parts.
//
// Lines: "d BITS TEXT" (doubleToText), "f BITS TEXT" (singleToText),
// "t TEXT -> BITS" or "t TEXT -> error N" (textToDouble).
#include "forms.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

// std::bit_cast, which the older libc++ of some WebAssembly toolchains lacks.
template <class To, class From> To bitsAs(From from)
{
    static_assert(sizeof(To) == sizeof(From));
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

// splitmix64: the same numbers on every platform, unlike the standard
// library's distributions.
struct Random {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

void writeDouble(double value)
{
    std::printf("d %016" PRIx64 " %s\n", bitsAs<std::uint64_t>(value), rt::doubleToText(value).c_str());
}

void writeSingle(float value)
{
    std::printf("f %08" PRIx32 " %s\n", bitsAs<std::uint32_t>(value), rt::singleToText(value).c_str());
}

void readText(const std::string& text)
{
    try {
        const double value = rt::textToDouble(text);
        std::printf("t [%s] -> %016" PRIx64 "\n", text.c_str(), bitsAs<std::uint64_t>(value));
    } catch (const rt::RuntimeError& e) {
        std::printf("t [%s] -> error %d\n", text.c_str(), static_cast<int>(e.number));
    }
}

// Any finite double: random bits, whole numbers of every size, short
// decimal fractions, numbers near powers of ten and two, subnormals. Only
// exact or correctly rounded steps (no pow or exp, whose last bit differs
// between C libraries), so both builds draw the same values.
double randomDouble(Random& r)
{
    for (;;) {
        double v = 0;
        char text[32];
        switch (r.below(6)) {
        case 0: v = bitsAs<double>(r.next()); break;
        case 1: v = double(r.next() >> r.below(64)); break; // whole, up to 2^64
        case 2: {
            const auto mantissa = std::int64_t(r.below(2000001)) - 1000000;
            const int places = int(r.below(12));
            std::snprintf(text, sizeof text, "%" PRId64 "e-%d", mantissa, places);
            v = std::strtod(text, nullptr);
            break;
        }
        case 3: {
            const int first = int(r.below(10));
            const auto rest = r.below(1000000000000000ull);
            const int exponent = int(r.below(640)) - 320;
            std::snprintf(text, sizeof text, "%d.%015" PRIu64 "e%d", first, rest, exponent);
            v = std::strtod(text, nullptr);
            break;
        }
        case 4: {
            const double fraction = double(r.below(1024)) / 1024.0;
            v = std::ldexp(1.0 + fraction, int(r.below(2100)) - 1075);
            break;
        }
        case 5: v = bitsAs<double>(r.next() & 0x800fffffffffffffull); break; // subnormal
        }
        if (std::isfinite(v))
            return r.below(2) ? v : -v;
    }
}

float randomSingle(Random& r)
{
    for (;;) {
        float v = 0;
        switch (r.below(5)) {
        case 0: v = bitsAs<float>(std::uint32_t(r.next())); break;
        case 1: v = float(r.next() >> r.below(64)); break;
        case 2: v = float(r.below(12)); break; // the target index
        case 3: {
            const float fraction = float(r.below(256)) / 256.0f;
            v = std::ldexp(1.0f + fraction, int(r.below(300)) - 150);
            break;
        }
        case 4: v = bitsAs<float>(std::uint32_t(r.next()) & 0x807fffffu); break; // subnormal
        }
        if (std::isfinite(v))
            return r.below(2) ? v : -v;
    }
}

// Decimal texts as a caption could hold them, and beyond: long mantissas,
// halfway cases, exponents at the ends of the range, blanks and signs.
std::string randomText(Random& r)
{
    std::string text;
    if (r.below(8) == 0)
        text += ' ';
    if (r.below(4) == 0)
        text += r.below(2) ? '-' : '+';
    const int before = int(r.below(25));
    for (int i = 0; i < before; ++i)
        text += char('0' + r.below(10));
    if (before == 0 || r.below(2)) {
        text += '.';
        const int after = int(r.below(25)) + (before == 0);
        for (int i = 0; i < after; ++i)
            text += char('0' + r.below(10));
    }
    if (r.below(2)) {
        text += r.below(2) ? 'e' : 'E';
        if (r.below(2))
            text += r.below(2) ? '-' : '+';
        text += std::to_string(r.below(r.below(4) == 0 ? 400 : 30));
    }
    if (r.below(8) == 0)
        text += '\t';
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    const std::string kinds = argc > 2 ? argv[2] : "dft";
    const bool doublesToo = kinds.find('d') != std::string::npos;
    const bool singlesToo = kinds.find('f') != std::string::npos;
    const bool textsToo = kinds.find('t') != std::string::npos;
    constexpr double dmax = std::numeric_limits<double>::max();
    constexpr double dmin = std::numeric_limits<double>::min();
    constexpr double dtrue = std::numeric_limits<double>::denorm_min();
    constexpr float fmax = std::numeric_limits<float>::max();
    constexpr float fmin = std::numeric_limits<float>::min();
    constexpr float ftrue = std::numeric_limits<float>::denorm_min();

    // The table: what the game writes, and the places where shortest and
    // fixed texts are easy to get wrong.
    const double doubles[] = {
        0.0, -0.0, 1, -1, 2, 119, 120, 100, 101, 1e15 - 1, 1e15, 1e15 + 1, 1e16, 1e17, 1e21, 1e22, 1e23,
        9007199254740992.0, 9007199254740993.0, 9007199254740994.0, 18446744073709551616.0, 123456789012345678.0,
        0.1, 0.2, 0.3, 1.0 / 3, 2.0 / 3, 0.5, 1.5, 2.5, 1e-5, 1e-6, 1e-7, 123456.789, 5e-324, 1e-323, 1e-310,
        2.2250738585072009e-308, 2.2250738585072014e-308, 1.7976931348623157e308, 4.9406564584124654e-324,
        dmax, -dmax, dmin, dtrue, std::nextafter(1.0, 2.0), std::nextafter(1.0, 0.0), 0.30000000000000004,
        1e300, 1e-300, 299792458, 6.02214076e23, 1.602176634e-19, 9.5367431640625e-7, 5e-1, 1e100,
    };
    for (double v : doubles) {
        if (doublesToo) {
            writeDouble(v);
            writeDouble(-v);
        }
    }
    // Every power of two with its neighbours on both sides, across the whole
    // exponent range: at a power of two the neighbour below lies half as far
    // as the one above, where the shortest text is easy to get wrong.
    for (int e = -1074; e <= 1023 && doublesToo; ++e) {
        const double v = std::ldexp(1.0, e);
        for (double w : {v, std::nextafter(v, 0.0), std::nextafter(v, dmax)})
            writeDouble(w);
    }
    for (int e = -149; e <= 127 && singlesToo; ++e) {
        const float v = std::ldexp(1.0f, e);
        for (float w : {v, std::nextafter(v, 0.0f), std::nextafter(v, fmax)})
            writeSingle(w);
    }
    const float singles[] = {
        0.0f, 1, 11, 12, 13, 0.1f, 0.2f, 0.3f, 1.0f / 3, 16777216.0f, 16777217.0f, 33554432.0f, 1e10f, 1e14f,
        1e15f, 1e16f, 3.4028235e38f, 1.17549435e-38f, 1.4e-45f, fmax, fmin, ftrue, 1e-10f, 123456.789f,
        std::nextafter(1.0f, 2.0f), std::nextafter(1.0f, 0.0f), 8388608.5f, 0.999999940f,
    };
    for (float v : singles) {
        if (singlesToo) {
            writeSingle(v);
            writeSingle(-v);
        }
    }
    const char* texts[] = {
        "0", "120", "-1", "+5", " 119 \t", "007", "999999999999999", "1234567890123456", "12345678901234567",
        "1.5", ".25", "1e+21", "-2.5E-3", "", " ", "-", "+", ".", "1,5", "1 2", "--1", "inf", "nan", "0x10",
        "1e999", "-1e999", "1e-999", "1e-400", "2.4703282292062327e-324", "2.4703282292062328e-324",
        "1.7976931348623158e308", "1.7976931348623159e308", "9007199254740993", "9007199254740993.0000000001",
        "0.1000000000000000055511151231257827", "1.", "1.e5", "1e", "1e+", "e5", ".e5", "00000000000000000001.5",
        "123456789012345678901234567890", "0.000000000000000000000000000001", "4.9e-324", "5e-324", "1E400",
        "2.2250738585072011e-308", "7.2057594037927933e16", "1.00000000000000011102230246251565404236316680908203125",
        "1.00000000000000011102230246251565404236316680908203124", "3.00000000000000044408920985006261616945266723632812500",
    };
    for (const char* t : texts)
        if (textsToo)
            readText(t);

    Random r{0x5eed5eed2026ull};
    for (long i = 0; i < count; ++i) {
        // The same values are drawn whatever is written.
        const double d = randomDouble(r);
        const float f = randomSingle(r);
        const std::string text = randomText(r);
        if (doublesToo)
            writeDouble(d);
        if (singlesToo)
            writeSingle(f);
        // Every text written reads back to its value; and random texts.
        if (textsToo && i % 4 == 0)
            readText(rt::doubleToText(d));
        if (textsToo && i % 4 == 1)
            readText(text);
    }
    return 0;
}
