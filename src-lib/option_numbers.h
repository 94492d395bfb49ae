// The numbers of options given as text (the command line, the Python
// module's keywords), read alike wherever an option is taken, so that the same
// text is refused in the same words by every command.
#ifndef MCJOBS_OPTION_NUMBERS_H
#define MCJOBS_OPTION_NUMBERS_H

#include <cstdint>
#include <string>

#include "util.h"

namespace mcjobs {

/// @brief A malformed option value, or an option that does not apply: what the command line
/// answers with a usage error (exit status 1). It is a CheckError, so that a caller catches one
/// type for every refusal of the library; its condition is the whole message, which names the
/// option as the command line spells it ("--edge-prob: 'x' is not a number").
class OptionError : public CheckError {
 public:
  explicit OptionError(const std::string& message) : CheckError(message) {}
};

/// @brief The finite number that is the whole text, in any locale; otherwise throws
/// OptionError "--NAME: 'TEXT' is not a number" (NaN and infinities included), or
/// "--NAME: 'TEXT' is out of range for a double" for a number beyond a double.
double finiteNumberOption(const std::string& name, const std::string& text);

/// @brief The seed 0..2^64-1 that the whole text writes in decimal digits; otherwise throws
/// OptionError "--NAME: 'TEXT' is not an integer in 0..18446744073709551615".
std::uint64_t seedOption(const std::string& name, const std::string& text);

/// @brief Throws OptionError "--NAME: 'TEXT' is not EXPECTED", the text cut at 80 characters.
[[noreturn]] void refuseOptionText(const std::string& name, const std::string& text,
                                   const std::string& expected);

/// @brief Throws OptionError "--NAME RULE" unless `holds`.
void requireOption(bool holds, const std::string& name, const std::string& rule);

}  // namespace mcjobs

#endif  // MCJOBS_OPTION_NUMBERS_H
