// The Util helpers: the process-wide random source, string builders and the
// tools' usage banner.
#include "util.h"

#include <cstdlib>
#include <ctime>
#include <iostream>

namespace Util {

bool seed_initialized = false;

void initialize() {
  if (seed_initialized) return;
  std::srand(static_cast<unsigned int>(std::time(nullptr)));
  seed_initialized = true;
}

int random() {
  initialize();
  return std::rand();
}

int randmax() {
  return 2147483647;
}

void seedRand(unsigned int seed) {
  std::srand(seed);
  seed_initialized = true;
}

bool randTrue(double Pr) {
  double r = static_cast<double>(random()) / static_cast<double>(randmax());
  return r <= Pr;
}

std::string spaces(int nrsp) {
  return nrsp > 0 ? std::string(static_cast<size_t>(nrsp), ' ') : "";
}

std::string to_string(int i) {
  return std::to_string(static_cast<long long>(i));
}

void fprintf_sourceFilename(FILE* file, std::string path) {
  size_t start = path.find_last_of("/\\");
  if (start == std::string::npos) start = 0;
  size_t end = path.find_last_of('.');
  if (end == std::string::npos) end = path.size();
  // When the last '.' precedes the separator the count wraps and substr runs
  // to the end of the path, which is the name we want.
  std::string name = path.substr(start, end - start);
  std::fputs(name.c_str(), file);
}

void print_tool_usage(std::string namepath, std::string usage) {
  std::cerr << "\n" << std::flush;
  std::cerr << "-------------------"
            << "\n"
            << std::flush;
  fprintf_sourceFilename(stderr, namepath);
  std::fflush(stderr);
  std::cerr << "\n" << std::flush;
  std::cerr << "-------------------"
            << "\n"
            << std::flush;
  std::cerr << "\n" << std::flush;
  std::cerr << "Usage: "
            << "\n"
            << std::flush;
  std::cerr << usage << "\n" << std::flush;
  std::cerr << "\n" << std::flush;
}

}  // namespace Util
