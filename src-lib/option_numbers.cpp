// Option numbers read from text with std::from_chars: the whole text, no locale,
// no leading '+' or blanks, no wrapping of negative or oversized integers.
#include "option_numbers.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <system_error>

#include "explain.h"

namespace mcjobs {

namespace {

template <typename Number>
bool wholeText(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

}  // namespace

void refuseOptionText(const std::string& name, const std::string& text,
                      const std::string& expected) {
  throw OptionError("--" + name + ": '" + abbreviate(text) + "' is not " + expected);
}

void requireOption(bool holds, const std::string& name, const std::string& rule) {
  if (!holds) throw OptionError("--" + name + " " + rule);
}

double finiteNumberOption(const std::string& name, const std::string& text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  if (result.ec == std::errc::result_out_of_range && result.ptr == end)
    throw OptionError("--" + name + ": '" + mcjobs::abbreviate(text) +
                      "' is out of range for a double");
  if (!wholeText(text, value) || !std::isfinite(value)) refuseOptionText(name, text, "a number");
  return value;
}

std::uint64_t seedOption(const std::string& name, const std::string& text) {
  std::uint64_t value = 0;
  if (!wholeText(text, value))
    refuseOptionText(name, text, "an integer in 0.." + std::to_string(UINT64_MAX));
  return value;
}

}  // namespace mcjobs
