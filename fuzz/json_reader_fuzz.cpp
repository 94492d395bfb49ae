// The NetworkX node-link reader. A document it accepts is written back and
// must read as the same set; the default window and budget only fill what a
// node lacks, so a document read without them reads the same with them.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "interchange.h"

namespace {

JobInstance readPlain(std::istream& in, const std::string& name) {
  return mcjobs::readJson(in, name);
}

JobInstance readFilled(std::istream& in, const std::string& name) {
  static const mcjobs::InterchangeOptions options = fuzz::withDefaults();
  return mcjobs::readJson(in, name, options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  JobInstance set;
  fuzz::roundTripsWithDefaults(fuzz::text(data, size), readPlain, readFilled, mcjobs::writeJson,
                               set);
  return 0;
}
