// Floating-point text conversions where the standard library has them.
#include "number_chars.h"

namespace rt::detail {

std::to_chars_result toChars(char* first, char* last, double value) { return std::to_chars(first, last, value); }
std::to_chars_result toChars(char* first, char* last, float value) { return std::to_chars(first, last, value); }

std::to_chars_result toChars(char* first, char* last, double value, std::chars_format format)
{
    return std::to_chars(first, last, value, format);
}

std::to_chars_result toChars(char* first, char* last, float value, std::chars_format format)
{
    return std::to_chars(first, last, value, format);
}

std::from_chars_result fromChars(const char* first, const char* last, double& value)
{
    return std::from_chars(first, last, value, std::chars_format::general);
}

} // namespace rt::detail
