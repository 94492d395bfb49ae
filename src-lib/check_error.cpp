// CheckError: the one exception of the library, and the "file:line: condition"
// text its what() shows.
#include <utility>

#include "util.h"

CheckError::CheckError(std::string condition, const char* source_file, int source_line)
    : mCondition(std::move(condition)),
      mSourceFile(source_file ? source_file : ""),
      mSourceLine(source_line) {
  compose();
}

void CheckError::setInput(const std::string& file, long line) {
  mInputFile = file;
  mInputLine = line;
  compose();
}

void CheckError::compose() {
  mWhat.clear();
  if (!mInputFile.empty()) {
    mWhat += mInputFile;
    mWhat += ':';
  }
  if (mInputLine > 0) {
    if (mInputFile.empty()) mWhat += "line ";
    mWhat += std::to_string(mInputLine);
    mWhat += ':';
  }
  if (!mWhat.empty()) mWhat += ' ';
  mWhat += mCondition;
}
