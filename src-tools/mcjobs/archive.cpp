// mcjobs archive add/list/extract: named instances in one archive file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "mcjobs/common.h"

namespace mcjobs_tool {

namespace {

struct ArchiveOptions {
  std::string archive;
  std::string name;
  std::string file;
  std::string expr = ".*";
  std::string dir;
  bool json = false;
};

struct FileCloser {
  void operator()(FILE* file) const {
    if (file != stdin && file != stdout) std::fclose(file);
  }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The archive reader seeks, so a piped stdin is first copied to a temporary file.
FilePtr openForReading(const std::string& archive) {
  if (archive != "-") {
    FILE* file = std::fopen(archive.c_str(), "r");
    if (file == nullptr) fail(archive, "cannot open archive", errno);
    return FilePtr(file);
  }
  if (::lseek(STDIN_FILENO, 0, SEEK_CUR) >= 0) return FilePtr(stdin);
  FILE* copy = std::tmpfile();
  if (copy == nullptr) fail(archive, "cannot create a temporary file", errno);
  FilePtr owned(copy);
  char buffer[65536];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
    if (std::fwrite(buffer, 1, count, copy) != count) fail(archive, "cannot copy stdin", errno);
  if (std::ferror(stdin)) fail(archive, "cannot read", errno);
  std::rewind(copy);
  return owned;
}

// Walks the entries whose names match `expr`, in archive order.
template <typename Visit>
void forEachEntry(const std::string& archive, const std::string& expr, Visit visit) {
  FilePtr file = openForReading(archive);
  std::string name;
  try {
    while (std::unique_ptr<JobInstance> entry{
        JobInstance::read_jobstar(expr, file.get(), name, false)})
      visit(name, *entry);
  } catch (CheckError& error) {
    if (error.inputFile().empty()) error.setInput(displayName(archive), error.inputLine());
    throw;
  }
}

// Appending to an existing file cannot be made atomic by a rename without
// copying the archive, so a failed append is cut off again instead.
int runAdd(const ArchiveOptions& options) {
  JobInstance instance;
  readInstance(options.file, instance);
  if (options.archive == "-") {
    instance.write_jobstar(options.name, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail("<stdout>", "cannot write", errno);
    return kSuccess;
  }
  FilePtr file(std::fopen(options.archive.c_str(), "a+"));
  if (!file) fail(options.archive, "cannot open archive", errno);
  struct stat status {};
  if (::fstat(::fileno(file.get()), &status) != 0)
    fail(options.archive, "cannot stat archive", errno);
  const off_t size = S_ISREG(status.st_mode) ? status.st_size : 0;
  bool ok = true;
  if (size > 0) {  // an entry must start on a line of its own
    std::fseek(file.get(), -1, SEEK_END);
    if (std::fgetc(file.get()) != '\n') ok = std::fputc('\n', file.get()) != EOF;
  }
  if (ok) instance.write_jobstar(options.name, file.get());
  ok = ok && std::fflush(file.get()) == 0 && !std::ferror(file.get());
  if (!ok) {
    const int error = errno;
    if (S_ISREG(status.st_mode)) (void)::ftruncate(::fileno(file.get()), size);
    fail(options.archive, "cannot append to archive", error);
  }
  if (std::fclose(file.release()) != 0) fail(options.archive, "cannot append to archive", errno);
  return kSuccess;
}

int runList(const ArchiveOptions& options) {
  nlohmann::json entries = nlohmann::json::array();
  std::string text;
  forEachEntry(options.archive, options.expr, [&](const std::string& name, JobInstance& entry) {
    if (options.json)
      entries.push_back(
          {{"name", name}, {"jobs", entry.numJobs()}, {"arcs", entry.getAllArcs().size()}});
    else
      text += name + "\n";
  });
  writeText(options.json ? entries.dump(2) + "\n" : text, "-");
  return kSuccess;
}

// Why an entry name cannot be a file name inside the target directory, or "".
std::string unsafeName(const std::string& name) {
  if (name.empty()) return "empty name";
  if (name[0] == '.') return "name starts with '.'";
  if (name.size() > 255) return "name longer than 255 bytes";
  for (unsigned char c : name) {
    if (c == '/' || c == '\\') return "name contains a path separator";
    if (c < 0x20 || c == 0x7f) return "name contains a control character";
  }
  return std::string();
}

int runExtract(const ArchiveOptions& options) {
  struct stat status {};
  if (::stat(options.dir.c_str(), &status) != 0) {
    if (errno != ENOENT || ::mkdir(options.dir.c_str(), 0777) != 0)
      fail(options.dir, "cannot create directory", errno);
  } else if (!S_ISDIR(status.st_mode)) {
    fail(options.dir, "not a directory");
  }
  int result = kSuccess;
  forEachEntry(options.archive, options.expr, [&](const std::string& name, JobInstance& entry) {
    const std::string path = options.dir + "/" + name;
    std::string refusal = unsafeName(name);
    struct stat existing {};
    // The instance writer follows a symbolic link, which could lead out of the directory.
    if (refusal.empty() && ::lstat(path.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode))
      refusal = "a symbolic link of that name exists";
    if (!refusal.empty()) {
      std::cout.flush();
      std::cerr << "mcjobs: " << displayName(options.archive) << ": entry '" << name
                << "' not extracted: " << refusal << std::endl;
      result = kFailure;
      return;
    }
    entry.write(path.c_str());
    std::cout << path << std::endl;
  });
  return result;
}

// A newline would end the name line early and corrupt the archive.
std::string validateEntryName(const std::string& name) {
  if (name.find('\n') != std::string::npos || name.find('\r') != std::string::npos)
    return "an entry name cannot contain a line break";
  return std::string();
}

}  // namespace

void addArchiveCommand(CLI::App& app, Action& action) {
  auto options = std::make_shared<ArchiveOptions>();
  CLI::App* archive = app.add_subcommand("archive", "Named instances in one archive file");
  archive->require_subcommand(1);

  CLI::App* add = archive->add_subcommand("add", "Append an instance file as an entry named NAME");
  add->add_option("ARCHIVE", options->archive, "Archive file, created if missing ('-' for stdout)")
      ->required();
  add->add_option("NAME", options->name, "Entry name")
      ->required()
      ->check(CLI::Validator(validateEntryName, "NAME", "entry name"));
  add->add_option("FILE", options->file, "Instance file ('-' for stdin)")->required();
  add->callback([options, &action] { action = [options] { return runAdd(*options); }; });

  const std::string exprHelp =
      "POSIX basic regular expression matched against the end of each name (default: .*)";
  CLI::App* list =
      archive->add_subcommand("list", "Print the names of the matching entries, one a line");
  list->add_option("ARCHIVE", options->archive, "Archive file ('-' for stdin)")->required();
  list->add_option("EXPR", options->expr, exprHelp)
      ->check(CLI::Validator(
          [](const std::string& expr) { return expr.empty() ? "EXPR cannot be empty" : ""; },
          "EXPR", "expression"));
  list->add_flag("--json", options->json, "A JSON array of {name, jobs, arcs}");
  list->callback([options, &action] { action = [options] { return runList(*options); }; });

  CLI::App* extract = archive->add_subcommand(
      "extract", "Write each matching entry to DIR/NAME as an instance file");
  extract->add_option("ARCHIVE", options->archive, "Archive file ('-' for stdin)")->required();
  extract->add_option("EXPR", options->expr, exprHelp)->required();
  extract->add_option("-d,--directory", options->dir, "Target directory, created if missing")
      ->required()
      ->option_text("DIR");
  extract->footer(
      "Prints each file written. An entry whose name is empty, starts with '.', contains '/'\n"
      "or a control character is not extracted (exit status 3).");
  extract->callback([options, &action] { action = [options] { return runExtract(*options); }; });
}

}  // namespace mcjobs_tool
