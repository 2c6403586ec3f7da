// Floating-point text conversions for captions: what std::to_chars and
// std::from_chars do, reached through one name so that a standard library
// without their floating-point forms (some WebAssembly toolchains' libc++)
// can be given a fallback. The build picks number_chars_std.cpp where the
// library has them and number_chars_fallback.cpp where it lacks them.
#pragma once

#include <charconv>

namespace rt::detail {

// As std::to_chars(first, last, value): the shortest text that reads back
// to value, fixed or scientific, whichever is shorter.
std::to_chars_result toChars(char* first, char* last, double value);
std::to_chars_result toChars(char* first, char* last, float value);
// As std::to_chars(first, last, value, format) for format fixed or
// scientific: the shortest text in that notation that reads back to value.
std::to_chars_result toChars(char* first, char* last, double value, std::chars_format format);
std::to_chars_result toChars(char* first, char* last, float value, std::chars_format format);

// As std::from_chars(first, last, value), in the general format.
std::from_chars_result fromChars(const char* first, const char* last, double& value);

} // namespace rt::detail
