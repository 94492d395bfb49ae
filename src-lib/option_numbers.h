// The numbers of options given as text (the command line, the Python
// module's keywords), read alike wherever an option is taken, so that the same
// text is refused in the same words by every command.
#ifndef MCJOBS_OPTION_NUMBERS_H
#define MCJOBS_OPTION_NUMBERS_H

#include <cstdint>
#include <string>

namespace mcjobs {

/// @brief The finite number that is the whole text, in any locale; otherwise throws
/// std::invalid_argument "--NAME: 'TEXT' is not a number" (NaN and infinities included), or
/// "--NAME: 'TEXT' is out of range for a double" for a number beyond a double.
double finiteNumberOption(const std::string& name, const std::string& text);

/// @brief The seed 0..2^64-1 that the whole text writes in decimal digits; otherwise throws
/// std::invalid_argument "--NAME: 'TEXT' is not an integer in 0..18446744073709551615".
std::uint64_t seedOption(const std::string& name, const std::string& text);

/// @brief Throws std::invalid_argument "--NAME: 'TEXT' is not EXPECTED", the text cut at 80 characters.
[[noreturn]] void refuseOptionText(const std::string& name, const std::string& text,
                                   const std::string& expected);

/// @brief Throws std::invalid_argument "--NAME RULE" unless `holds`.
void requireOption(bool holds, const std::string& name, const std::string& rule);

}  // namespace mcjobs

#endif  // MCJOBS_OPTION_NUMBERS_H
