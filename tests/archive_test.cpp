// The archive reader keeps process-wide state; every test works on its own
// freshly opened stream, so that no test continues another's walk.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "job.h"

namespace {

struct Closer {
  void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, Closer>;

File archiveOf(const std::string& text) {
  File file(std::tmpfile());
  EXPECT_TRUE(file);
  std::fwrite(text.data(), 1, text.size(), file.get());
  // At the top, as a freshly opened archive would be.
  std::rewind(file.get());
  return file;
}

std::string contents(FILE* f) {
  std::rewind(f);
  std::string text;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, got);
  std::rewind(f);
  return text;
}

// An entry with `jobs` identical LO jobs and no arcs.
std::string entry(const std::string& name, int jobs) {
  std::string text = "------\n" + name + ":\n";
  for (int i = 0; i < jobs; ++i) text += "0 10 1 2 2\n";
  return text;
}

// "name/jobs/arcs" of the next match, or "null"; the name must be empty on null.
std::string next(const std::string& expr, FILE* f, bool rewind = false) {
  std::string name = "stale";
  std::unique_ptr<JobInstance> found(JobInstance::read_jobstar(expr, f, name, rewind));
  if (!found) return name.empty() ? "null" : "null with name " + name;
  return name + "/" + std::to_string(found->numJobs()) + "/" +
         std::to_string(found->getAllArcs().size());
}

std::string failureOf(const std::string& expr, FILE* f, std::string* name = nullptr) {
  std::string local;
  try {
    delete JobInstance::read_jobstar(expr, f, name ? *name : local, false);
  } catch (const CheckError& e) {
    return e.what();
  }
  return "no failure";
}

JobInstance twoJobsOneArc() {
  JobInstance instance;
  Job lo;
  lo.arrival = 0, lo.deadline = 10, lo.criticality = CRIT_LO, lo.lo_wcet = 2, lo.hi_wcet = 2;
  Job hi;
  hi.arrival = 0, hi.deadline = 20, hi.criticality = CRIT_HI, hi.lo_wcet = 3, hi.hi_wcet = 6;
  instance.insert(lo);
  instance.insert(hi);
  instance.insert(Arc(0, 1));
  return instance;
}

TEST(ArchiveWrite, ExactBytes) {
  File f(std::tmpfile());
  twoJobsOneArc().write_jobstar("caseA", f.get());
  JobInstance().write_jobstar("empty", f.get());
  EXPECT_EQ(contents(f.get()),
            "------\ncaseA:\n0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )\n"
            "------\nempty:\n");
  EXPECT_EQ(next(".*", f.get()), "caseA/2/1");
  EXPECT_EQ(next(".*", f.get()), "empty/0/0");
  EXPECT_EQ(next(".*", f.get()), "null");
}

TEST(ArchiveWrite, RewritingWhatWasReadGivesTheSameBytes) {
  const std::string text =
      "------\nchain:\n0 30 2 1 2\n1 30 1 3 3\n2 30 2 1 1\n( J1 J2 )\n( J1 J3 )\n( J2 J3 )\n" +
      entry("plain", 2) + "------\nlast:\n0 20 2 3 6\n";
  File in = archiveOf(text);
  File out(std::tmpfile());
  std::string name;
  while (JobInstance* found = JobInstance::read_jobstar(".*", in.get(), name, false)) {
    found->write_jobstar(name, out.get());
    delete found;
  }
  EXPECT_EQ(contents(out.get()), text);
}

TEST(ArchiveWrite, FailedWriteThrows) {
  File f(std::tmpfile());
  File readOnly(std::fopen(("/proc/self/fd/" + std::to_string(fileno(f.get()))).c_str(), "r"));
  ASSERT_TRUE(readOnly);
  EXPECT_THROW(twoJobsOneArc().write_jobstar("x", readOnly.get()), CheckError);
}

TEST(ArchiveNullStream, BothOperationsFail) {
  std::string name;
  try {
    JobInstance().write_jobstar("x", nullptr);
    ADD_FAILURE();
  } catch (const CheckError& e) {
    EXPECT_EQ(e.condition(), "jobstarfile");
  }
  try {
    JobInstance::read_jobstar(".*", nullptr, name, false);
    ADD_FAILURE();
  } catch (const CheckError& e) {
    EXPECT_EQ(e.condition(), "jobstarfile");
  }
}

struct WalkCase {
  const char* what;
  std::string archive;
  std::string expr;
  std::vector<std::string> calls;
};

TEST(ArchiveWalk, SequencesOfOneExpression) {
  const std::vector<WalkCase> cases = {
      {"a2 does not end in a",
       entry("a", 1) + entry("b", 2) + entry("a2", 3),
       "a",
       {"a/1/0", "null", "a/1/0"}},
      {"xa ends in a",
       entry("a", 1) + entry("b", 2) + entry("xa", 3),
       "a",
       {"a/1/0", "xa/3/0", "null", "a/1/0"}},
      {"every entry",
       entry("a", 1) + entry("b", 2) + entry("a2", 3),
       ".*",
       {"a/1/0", "b/2/0", "a2/3/0", "null", "a/1/0"}},
      {"lines before the first marker",
       "junk\n0 10 1 2 2\n" + entry("a", 1),
       ".*",
       {"a/1/0", "null", "a/1/0"}},
      {"no marker at all", "0 10 1 2 2\n( J1 J1 )\n", ".*", {"null", "null"}},
      {"no matching entry", entry("a", 1) + entry("b", 1), "zzz", {"null", "null", "null"}},
      {"tied to the end",
       entry("set1", 1) + entry("myset1", 2) + entry("set10", 3) + entry("set1b", 4),
       "set1",
       {"set1/1/0", "myset1/2/0", "null"}},
      {"tied to both ends", entry("set1", 1) + entry("myset1", 2), "^set1", {"set1/1/0", "null"}},
      {"a final $ is literal", entry("set1", 1), "^set1$", {"null", "null"}},
      {"marker look-alikes are not markers",
       "------ \nx:\n ------\ny:\n------\r\nz:\n" + entry("c", 1),
       ".*",
       {"c/1/0", "null"}},
      {"entries without jobs",
       entry("a", 0) + entry("b", 1) + entry("c", 0),
       ".*",
       {"a/0/0", "b/1/0", "c/0/0", "null"}},
      {"last line without newline",
       entry("a", 1) + "------\nb:\n0 10 1 2 2\n0 20 2 3 6\n( J1 J2 )",
       ".*",
       {"a/1/0", "b/2/1", "null"}},
      {"name line last without newline",
       entry("a", 1) + "------\nabc:",
       "abc",
       {"abc/0/0", "null"}},
      {"alternation keeps the whole name",
       "------\nabcdef:\n------\nabc",
       "abc\\|zzz",
       {"abcdef/0/0", "abc/0/0", "null"}},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.what);
    File f = archiveOf(c.archive);
    std::vector<std::string> got;
    for (size_t i = 0; i < c.calls.size(); ++i) got.push_back(next(c.expr, f.get()));
    EXPECT_EQ(got, c.calls);
  }
}

TEST(ArchiveWalk, LongLinesAreReadWhole) {
  const std::string longName(1500, 'n');
  const std::string padded = "0 10 1 2 2" + std::string(1500, ' ') + "\n";
  File f = archiveOf(entry("short", 1) + "------\n" + longName + ":\n" + padded + padded);
  std::string name;
  std::unique_ptr<JobInstance> found(JobInstance::read_jobstar("^n*", f.get(), name, false));
  ASSERT_TRUE(found);
  EXPECT_EQ(name, longName);
  EXPECT_EQ(found->numJobs(), 2);
}

TEST(ArchiveWalk, RewindOnlyMattersWhenTheExpressionChanges) {
  File f =
      archiveOf(entry("a", 1) + entry("b", 2) + entry("xa", 3) + entry("b2", 4) + entry("b", 5));
  EXPECT_EQ(next("b", f.get()), "b/2/0");
  EXPECT_EQ(next("a", f.get(), false), "xa/3/0");  // after the last entry returned
  EXPECT_EQ(next("b", f.get(), true), "b/2/0");    // from the top
  EXPECT_EQ(next("b", f.get(), true), "b/5/0");    // unchanged: rewind ignored
  EXPECT_EQ(next("a", f.get(), false), "null");
  EXPECT_EQ(next("b", f.get(), false), "b/2/0");  // forgotten after null: from the top
}

TEST(ArchiveWalk, AlternatingStreamsRestartEachTime) {
  File first = archiveOf(entry("a1", 1) + entry("a2", 1));
  File second = archiveOf(entry("b1", 2) + entry("b2", 2));
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(next(".*", first.get()), "a1/1/0");
    EXPECT_EQ(next(".*", second.get()), "b1/2/0");
  }
}

TEST(ArchiveFailure, BadBodyLineNamesTheArchiveLine) {
  File f = archiveOf(entry("a", 2) + "\n" + entry("b", 1));
  std::string name;
  EXPECT_EQ(failureOf(".*", f.get(), &name), "line 5: success && \"Job instance read error!\"");
  EXPECT_EQ(name, "a");
  EXPECT_EQ(next(".*", f.get()), "b/1/0");  // the search goes on after the faulty line

  // Numbered from the top of the file even when the walk starts further down.
  File g = archiveOf(entry("a", 1) + "------\nb:\n0 10 1 2 2\n10 0 1 2 2\n");
  EXPECT_EQ(next(".*", g.get()), "a/1/0");
  EXPECT_EQ(failureOf(".*", g.get()), "line 7: deadline>arrival");
}

TEST(ArchiveFailure, MarkerAtTheEnd) {
  File f = archiveOf(entry("a", 1) + "------\n");
  EXPECT_EQ(next(".*", f.get()), "a/1/0");
  EXPECT_EQ(failureOf(".*", f.get()), "line 4: __null!=fgets(linebuf, 1024, jobstarfile)");

  // Without its newline the last line is no marker but a malformed body line.
  File g = archiveOf(entry("a", 1) + "------");
  EXPECT_EQ(failureOf(".*", g.get()), "line 4: success && \"Job instance read error!\"");
}

TEST(ArchiveFailure, InvalidExpressionLeavesTheWalkAlone) {
  File f = archiveOf(entry("a", 1) + entry("b", 2));
  EXPECT_EQ(next(".*", f.get()), "a/1/0");
  EXPECT_EQ(failureOf("[", f.get()), "rc==0 && \"jobsnameexpr error\"");
  EXPECT_EQ(next(".*", f.get()), "b/2/0");
}

TEST(ArchiveFailure, ReadErrorDuringTheSearch) {
  File f(std::tmpfile());
  File writeOnly(std::fopen(("/proc/self/fd/" + std::to_string(fileno(f.get()))).c_str(), "w"));
  ASSERT_TRUE(writeOnly);
  EXPECT_EQ(failureOf(".*", writeOnly.get()), "feof(prev_jobstarfile)");
}

TEST(ArchiveFailure, StreamThatCannotSeek) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string text = entry("a", 1);
  ASSERT_EQ(write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fds[1]);
  File f(fdopen(fds[0], "r"));
  EXPECT_EQ(failureOf(".*", f.get()), "pos_success");
}

// Random walks over one archive with literal, anchored and catch-all
// expressions, against a model of the walk written from its rules.
TEST(ArchiveWalk, RandomWalksAgreeWithModel) {
  std::mt19937 rng(20240607);
  const std::vector<std::string> names = {"a", "b", "ab", "ba", "aab", "bab", "b_a"};
  const std::vector<std::string> exprs = {"a", "b", "ab", "^a", "^ab", ".*", "_a"};
  auto matches = [](const std::string& expr, const std::string& name) {
    if (expr == ".*") return true;
    if (expr[0] == '^') return name == expr.substr(1);
    return name.size() >= expr.size() &&
           name.compare(name.size() - expr.size(), expr.size(), expr) == 0;
  };
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<std::string> archive;
    std::string text = "junk line\n";
    const int entries = static_cast<int>(rng() % 8);
    for (int i = 0; i < entries; ++i) {
      archive.push_back(names[rng() % names.size()]);
      text += entry(archive.back(), i % 3);
    }
    File f = archiveOf(text);

    // Model: `position` is the index of the next entry to look at, or -1
    // when the stream is not remembered.
    int position = -1;
    std::string previous = "\x01";  // differs from every expression used
    for (int call = 0; call < 30; ++call) {
      const std::string expr = exprs[rng() % exprs.size()];
      const bool rewind = rng() % 2 == 0;
      if (position < 0 || (expr != previous && rewind)) position = 0;
      previous = expr;
      std::string expected = "null";
      while (position < entries) {
        const int i = position++;
        if (matches(expr, archive[i])) {
          expected = archive[i] + "/" + std::to_string(i % 3) + "/0";
          break;
        }
      }
      if (expected == "null") position = -1;
      ASSERT_EQ(next(expr, f.get(), rewind), expected) << "trial " << trial << " call " << call;
    }
  }
}

}  // namespace
