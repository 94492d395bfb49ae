// Seed corpora for the format fuzzers, converted from the examples with the
// library's own writers (what `mcjobs convert` writes):
//   make_seeds OUT EXAMPLE...
// fills OUT/corpus-TARGET/ with one file per example and form.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "interchange.h"

namespace {

std::string baseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void save(const std::string& out, const std::string& target, const std::string& name,
          const std::string& text) {
  std::ofstream file(out + "/corpus-" + target + "/" + name, std::ios::binary);
  file << text;
  if (!file) throw std::runtime_error("cannot write the seed " + name);
}

std::string archiveEntry(const std::string& name, JobInstance& instance) {
  char* buffer = nullptr;
  size_t length = 0;
  FILE* stream = ::open_memstream(&buffer, &length);
  if (stream == nullptr) throw std::runtime_error("cannot write to memory");
  instance.write_jobstar(name, stream);
  std::fclose(stream);
  std::string entry(buffer, length);
  std::free(buffer);
  return entry;
}

// A hand-drawn digraph may leave windows and budgets to the reader's defaults.
mcjobs::InterchangeOptions drawingDefaults() {
  mcjobs::InterchangeOptions options;
  options.hasDefaultWindow = true;
  options.defaultDeadline = 100;
  options.defaultWcet = 1;
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: make_seeds OUT EXAMPLE...\n";
    return 1;
  }
  const std::string out = argv[1];
  std::string archive;
  try {
    for (int k = 2; k < argc; ++k) {
      const std::string path = argv[k];
      const std::string name = baseName(path);
      mcjobs::Format format = mcjobs::Format::kNative;
      if (!mcjobs::formatFromPath(path, format)) continue;
      std::ifstream in(path, std::ios::binary);
      JobInstance set = format == mcjobs::Format::kDot   ? mcjobs::readDot(in, path, drawingDefaults())
                        : format == mcjobs::Format::kStg ? mcjobs::readStg(in, path)
                                                        : mcjobs::readNative(in, path);
      save(out, "json_reader", name + ".json", mcjobs::writeJson(set));
      save(out, "dot_reader", name + ".dot", mcjobs::writeDot(set));
      save(out, "dot_reader", name + ".hi.dot", mcjobs::writeDot(set, CRIT_HI, true));
      save(out, "stg_reader", name + ".stg", mcjobs::writeStg(set));
      mcjobs::InterchangeOptions hi;
      hi.level = CRIT_HI;
      save(out, "stg_reader", name + ".hi.stg", mcjobs::writeStg(set, hi));
      // The job file, a NUL, the precedence file.
      const mcjobs::NptestFiles files = mcjobs::writeNptest(set);
      save(out, "nptest_reader", name + ".csv", files.jobs + '\0' + files.precedence);
      save(out, "nptest_reader", name + ".jobs.csv", files.jobs);
      const std::string entry = archiveEntry(name, set);
      save(out, "archive_walker", name + ".jobstar", entry);
      archive += entry;
    }
    save(out, "archive_walker", "all.jobstar", archive);
  } catch (const std::exception& failure) {
    std::cerr << "make_seeds: " << failure.what() << "\n";
    return 1;
  }
  return 0;
}
