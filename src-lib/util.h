// General helpers shared by the mcjobs library and its tools: the ordered
// integer set that holds all graph adjacency, the check exception, a
// process-wide random source, small string builders and the usage banner.
#ifndef MCJOBS_UTIL_H
#define MCJOBS_UTIL_H

#include <cstdio>
#include <exception>
#include <set>
#include <string>

/// @brief A failed check: an invariant or precondition of the library was violated.
///
/// `what()` is the condition text, prefixed by the input file and line when the
/// check fired while a line of a file was being handled ("in.txt:7: ...").
class CheckError : public std::exception {
 public:
  /// @brief A failed check with its condition text and the source position of the check.
  CheckError(std::string condition, const char* source_file = "", int source_line = 0);

  /// @brief The full diagnostic: "[file:line: ]condition".
  const char* what() const noexcept override { return mWhat.c_str(); }
  /// @brief The condition text alone.
  const std::string& condition() const noexcept { return mCondition; }
  /// @brief The input file being read when the check fired ("" when none).
  const std::string& inputFile() const noexcept { return mInputFile; }
  /// @brief The 1-based input line being handled when the check fired (0 when none).
  long inputLine() const noexcept { return mInputLine; }
  /// @brief Where in the library the check is written.
  const char* sourceFile() const noexcept { return mSourceFile; }
  int sourceLine() const noexcept { return mSourceLine; }

  /// @brief Attaches the input position; readers call this before passing the error on.
  void setInput(const std::string& file, long line);
  /// @brief What is wrong in words, with the values involved ("" when only the condition is known).
  const std::string& explanation() const noexcept { return mExplanation; }
  /// @brief Attaches the words; what() keeps showing the condition text alone.
  void setExplanation(const std::string& words) { mExplanation = words; }
  /// @brief The errno of the failed system call behind the check (0 when none).
  int systemError() const noexcept { return mSystemError; }
  /// @brief Attaches the errno of the failed system call, so that front ends can map it.
  void setSystemError(int error) { mSystemError = error; }

 private:
  void compose();

  std::string mCondition;
  std::string mInputFile;
  long mInputLine = 0;
  std::string mExplanation;
  int mSystemError = 0;
  const char* mSourceFile;
  int mSourceLine;
  std::string mWhat;
};

namespace Util {

/// @brief Ordered set (ascending iteration, unique keys) with a membership test.
template <typename T>
class Set : public std::set<T> {
 public:
  using std::set<T>::set;

  /// @brief True when `x` is an element.
  bool contains(const T& x) const { return this->find(x) != this->end(); }
};

/// @brief `a` when `a` < `b`, otherwise `b`.
template <typename T>
T minimum(T a, T b) {
  return a < b ? a : b;
}

/// @brief Set once the libc generator has been seeded (by initialize() or seedRand()).
extern bool seed_initialized;

/// @brief Seeds the random source from the clock, unless it is seeded already.
void initialize();
/// @brief The next value of the libc generator, seeding it first if needed.
int random();
/// @brief The largest value random() can return.
int randmax();
/// @brief Restarts the random sequence with a known seed.
void seedRand(unsigned int seed);
/// @brief True with probability `Pr`: random()/randmax() <= Pr.
bool randTrue(double Pr);

/// @brief `nrsp` blanks; empty for `nrsp` <= 0.
std::string spaces(int nrsp);
/// @brief Decimal text of `i`.
std::string to_string(int i);

/// @brief Writes the tool name of a source path: from its last separator up to its last '.'.
void fprintf_sourceFilename(FILE* file, std::string path);
/// @brief Writes the usage banner of a tool to the standard error stream.
void print_tool_usage(std::string namepath, std::string usage);

}  // namespace Util

#endif  // MCJOBS_UTIL_H
