// mcjobs scale: the scaling of dilateJobs, with its validation and status 2.
#include <iostream>
#include <memory>
#include <string>

#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

struct ScaleOptions {
  std::string file;
  std::string factor;
  std::string out = "-";
};

int runScale(const ScaleOptions& options) {
  int scale = 0;
  if (!parseScaleFactor(options.factor, &scale)) {
    std::cerr << "mcjobs: Parse error for scale" << std::endl;
    return kScaleParse;
  }
  JobInstance instance;
  readInstance(options.file, instance);
  scaleInstance(&instance, scale);
  writeInstance(instance, options.out);
  return kSuccess;
}

}  // namespace

void addScaleCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ScaleOptions>();
  CLI::App* command =
      app.add_subcommand("scale", "Multiply every time value by an integer factor (as dilateJobs)");
  command->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  addInputOptions(*command);
  command->add_option("FACTOR", options->factor, "Decimal integer in 0..2147483647")->required();
  command->add_option("-o,--output", options->out, "Output instance file ('-' for stdout)")
      ->option_text("OUT");
  command->footer("Exit status 2 when FACTOR is not a decimal integer in 0..2147483647.");
  command->callback([options, &action] { action = [options] { return runScale(*options); }; });
}

}  // namespace mcjobs_tool
