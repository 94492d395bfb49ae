// Failed checks in words. The condition texts stay what they are (stored logs
// and scripts match them); this module says what each one means for a person,
// so that every front end (the tools, the Python module) explains alike.
#ifndef MCJOBS_EXPLAIN_H
#define MCJOBS_EXPLAIN_H

#include <string>
#include <vector>

#include "job.h"

namespace mcjobs {

/// @brief What a failed check means, in words; "" for a condition text the table does not know.
///
/// Condition texts that are already words (I/O failures, out-of-range values, the archive's own
/// messages) explain themselves and give "".
std::string explanationOf(const std::string& condition);

/// @brief Whether a condition text is known: either in the table or already in words.
bool isExplained(const std::string& condition);

/// @brief The explanation of a job's failed sanity check, naming the job and its values.
std::string explainJobCheck(const std::string& condition, const Job& job);

/// @brief The words for a window that a propagation at `level` left too short for its job:
/// "window of J1 collapses at LO: [0, 4] cannot hold budgets 6/6".
std::string explainCollapse(const Job& job, int level);

/// @brief One line for a person: "[file:line: ]words (condition)", or "[file:line: ]condition"
/// when the condition is already in words.
std::string describeFailure(const CheckError& failure);

/// @brief The text with control characters and bytes that are not UTF-8 shown as \xNN, so that
/// input echoed in a message can neither break the line nor reach the terminal as an escape
/// sequence, and the message stays valid UTF-8 (for JSON, Python).
std::string withoutControls(const std::string& text);

/// @brief At most `limit` characters of `text`; a longer text is cut and ends in "...".
std::string abbreviate(const std::string& text, size_t limit = 80);

}  // namespace mcjobs

#endif  // MCJOBS_EXPLAIN_H
