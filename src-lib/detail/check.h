// Internal: the library's check macro. A failed check throws CheckError
// carrying the condition text and the position of the check in the source.
#ifndef MCJOBS_CHECK_H
#define MCJOBS_CHECK_H

#include "util.h"

#define MCJOBS_CHECK(cond, text)                               \
  do {                                                         \
    if (!(cond)) throw CheckError((text), __FILE__, __LINE__); \
  } while (false)

#define MCJOBS_FAIL(text) throw CheckError((text), __FILE__, __LINE__)

#endif  // MCJOBS_CHECK_H
