// mcjobs archive add/list/extract: named instances in one archive file.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "archive_file.h"
#include "explain.h"
#include "instance_stream.h"
#include "mcjobs/common.h"
#include "safe_write.h"

namespace mcjobs_tool {

namespace {

struct ArchiveOptions {
  std::string archive;
  std::string name;
  std::string file;
  std::string expr = ".*";
  std::string dir;
  bool json = false;
  bool force = false;
};

// Walks the entries whose names match `expr`, in archive order, under a
// shared lock for a file and from a copy for a pipe. Under --strict the
// archive is first read through for lines the tolerant reader changes; any
// such line fails the command before a single entry is visited. A torn tail
// is thrown (mcjobs::TornArchiveTail) once every complete entry is visited.
void forEachEntry(const std::string& archive, const std::string& expr,
                  const std::function<void(const std::string&, JobInstance&)>& visit) {
  checkNameExpression(expr);
  // A piped archive, read twice under --strict, is kept in a temporary file.
  mcjobs::StreamPtr copy;
  FILE* input =
      archive == "-" ? mcjobs::seekableStream(stdin, displayName(archive), copy) : nullptr;
  auto walk = [&](const std::function<void(const std::string&, JobInstance&)>& each,
                  std::vector<std::string>* warnings) {
    if (input != nullptr)
      mcjobs::forEachArchiveEntry(input, displayName(archive), expr, each, warnings);
    else
      mcjobs::forEachArchiveEntry(archive, expr, each, warnings);
  };
  if (strictReading()) {
    std::vector<std::string> warnings;
    try {
      walk([](const std::string&, JobInstance&) {}, &warnings);
    } catch (const mcjobs::TornArchiveTail&) {
      // Named by the walk below, after the complete entries.
    }
    failOnStrictWarnings(archive, warnings);
  }
  walk(visit, nullptr);
}

int runAdd(const ArchiveOptions& options) {
  JobInstance instance;
  readInstance(options.file, instance);
  if (options.archive == "-") {
    instance.write_jobstar(options.name, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) fail("<stdout>", "cannot write", errno);
    return kSuccess;
  }
  const mcjobs::AppendReport report =
      mcjobs::appendToArchive(options.archive, options.name, instance);
  if (!report.repaired.empty()) std::cerr << "mcjobs: " << report.repaired << std::endl;
  return kSuccess;
}

// A name as list prints it: control characters and bytes that are not UTF-8
// (possible in archives written by hand or by older versions) as \xNN, so
// that no escape sequence reaches a terminal and JSON stays valid.
std::string printableName(const std::string& name) {
  if (mcjobs::entryNameProblem(name).empty()) return name;
  std::string printable;
  for (size_t i = 0; i < name.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    // Keep whole valid UTF-8 sequences; escape everything else outside ASCII.
    size_t length = c < 0x80             ? 1
                    : (c & 0xE0) == 0xC0 ? 2
                    : (c & 0xF0) == 0xE0 ? 3
                    : (c & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (length > 1 && i + length <= name.size() &&
        mcjobs::entryNameProblem(name.substr(i, length)).empty()) {
      printable += name.substr(i, length);
      i += length - 1;
    } else if (c >= 0x20 && c < 0x7f && c != '\\') {
      printable += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      printable += escaped;
    }
  }
  return printable;
}

// A name or path as a diagnostic echoes it: printable, and cut when long.
std::string echoed(const std::string& value) {
  return mcjobs::abbreviate(printableName(value));
}

int runList(const ArchiveOptions& options) {
  nlohmann::json entries = nlohmann::json::array();
  std::string text;
  auto print = [&] { writeText(options.json ? entries.dump(2) + "\n" : text, "-"); };
  try {
    forEachEntry(options.archive, options.expr, [&](const std::string& name, JobInstance& entry) {
      if (options.json)
        entries.push_back({{"name", printableName(name)},
                           {"jobs", entry.numJobs()},
                           {"arcs", entry.getAllArcs().size()}});
      else
        text += printableName(name) + "\n";
    });
  } catch (const mcjobs::TornArchiveTail&) {
    // What a killed append leaves costs only its own entry: the others are listed.
    print();
    throw;
  }
  print();
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

// The file an archive is read from, so that extraction never replaces it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool known = false;
  bool is(const struct stat& status) const {
    return known && status.st_dev == device && status.st_ino == inode;
  }
};

FileIdentity identityOf(const std::string& archive) {
  struct stat status {};
  FileIdentity identity;
  const int rc = archive == "-" ? ::fstat(STDIN_FILENO, &status) : ::stat(archive.c_str(), &status);
  if (rc == 0) identity = {status.st_dev, status.st_ino, true};
  return identity;
}

int runExtract(const ArchiveOptions& options) {
  checkNameExpression(options.expr);  // before anything is created
  struct stat status {};
  if (::stat(options.dir.c_str(), &status) != 0) {
    if (errno != ENOENT || ::mkdir(options.dir.c_str(), 0777) != 0)
      fail(options.dir, "cannot create directory", errno);
  } else if (!S_ISDIR(status.st_mode)) {
    fail(options.dir, "not a directory");
  }
  const FileIdentity archiveFile = identityOf(options.archive);
  std::set<std::string> written;
  int result = kSuccess;
  forEachEntry(options.archive, options.expr, [&](const std::string& name, JobInstance& entry) {
    const std::string path = options.dir + "/" + name;
    std::string refusal = unsafeName(name);
    struct stat existing {};
    if (refusal.empty() && written.count(name) != 0) {
      refusal = echoed(path) + " was written by an earlier entry of the same name";
    } else if (refusal.empty() && ::lstat(path.c_str(), &existing) == 0) {
      // Checked without opening the target: a FIFO would block, and a
      // symbolic link could lead out of the directory.
      if (S_ISLNK(existing.st_mode))
        refusal = "a symbolic link of that name exists";
      else if (archiveFile.is(existing))
        refusal = echoed(path) + " is the archive being read";
      else if (!S_ISREG(existing.st_mode))
        refusal = echoed(path) + " exists and is not a regular file";
      else if (!options.force)
        refusal = echoed(path) + " exists (--force replaces it)";
    }
    if (!refusal.empty()) {
      std::cout.flush();
      std::cerr << "mcjobs: " << displayName(options.archive) << ": entry '" << echoed(name)
                << "' not extracted: " << refusal << std::endl;
      result = kFailure;
      return;
    }
    mcjobs::writeFileSafely(
        path.c_str(), [&entry](FILE* stream) { return mcjobs::writeInstanceStream(stream, entry); },
        options.force ? mcjobs::ExistingTarget::kReplaceRegularFile
                      : mcjobs::ExistingTarget::kKeep);
    written.insert(name);
    printLine(path);
  });
  return result;
}

// Checked here as well as by the library, so that a bad name is a usage error.
std::string validateEntryName(const std::string& name) {
  return mcjobs::entryNameProblem(name);
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
  addInputOptions(*add);
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
  addStrictOption(*list);
  list->callback([options, &action] { action = [options] { return runList(*options); }; });

  CLI::App* extract = archive->add_subcommand(
      "extract", "Write each matching entry to DIR/NAME as an instance file");
  extract->add_option("ARCHIVE", options->archive, "Archive file ('-' for stdin)")->required();
  extract->add_option("EXPR", options->expr, exprHelp)->required();
  extract->add_option("-d,--directory", options->dir, "Target directory, created if missing")
      ->required()
      ->option_text("DIR");
  addStrictOption(*extract);
  extract->add_flag("--force", options->force,
                    "Replace existing regular files (never the archive itself, nor a file\n"
                    "written by an earlier entry of the same name)");
  extract->footer(
      "Prints each file written. An entry whose name is empty, starts with '.', contains '/'\n"
      "or a control character, or whose file exists (without --force) or is not a regular\n"
      "file, is not extracted (exit status 3); the other entries still are.");
  extract->callback([options, &action] { action = [options] { return runExtract(*options); }; });
}

}  // namespace mcjobs_tool
