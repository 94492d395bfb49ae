// Archive files under faults: full disks, parallel writers and readers,
// killed writers, independent reader objects, entry names.
// Faults are made in child processes (file-size limits, SIGKILL), so that the
// test process itself keeps running normally.
#include "archive_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "detail/instance_text.h"
#include "interchange.h"
#include "job.h"
#include "support/builders.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/oracles.h"

namespace {

using testfiles::readFile;
using testfiles::ScratchDir;
using testtools::inChild;

// The instance file text of an instance: what an entry must read back as.
std::string textOf(JobInstance& instance) {
  return mcjobs::writeNative(instance);
}

// A random instance determined by its seed: `jobs` jobs, each forward pair an arc with
// probability 1 / arcOneIn.
JobInstance sample(unsigned seed, int jobs, unsigned arcOneIn = 8) {
  std::mt19937 rng(seed);
  const RandomDag dag = randomDag(rng, jobs, arcOneIn, [](std::mt19937& r) {
    const int arrival = static_cast<int>(r() % 50);
    return std::make_pair(arrival, arrival + 20 + static_cast<int>(r() % 50));
  });
  return build(dag.jobs, dag.arcs);
}

// name -> text of every entry, failing the test on a duplicate name.
std::map<std::string, std::string> entriesOf(const std::string& archive) {
  std::map<std::string, std::string> entries;
  mcjobs::forEachArchiveEntry(archive, ".*", [&](const std::string& name, JobInstance& entry) {
    EXPECT_TRUE(entries.emplace(name, textOf(entry)).second) << "duplicate entry " << name;
  });
  return entries;
}

TEST(ArchiveAppend, FullDiskLeavesTheArchiveByteIdentical) {
  ScratchDir dir;
  const std::string archive = dir.file("a.jobstar");
  JobInstance small = sample(1, 5);
  mcjobs::appendToArchive(archive, "small", small);
  const std::string before = readFile(archive);
  JobInstance big = sample(2, 400);
  const size_t bigSize = textOf(big).size();
  // Limits inside the journal, at the old end, one byte in, and mid-entry.
  for (const size_t limit : {size_t{16}, before.size(), before.size() + 1, before.size() + 4000,
                             before.size() + bigSize / 2}) {
    const int status = inChild([&] {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit fileSize{limit, limit};
      setrlimit(RLIMIT_FSIZE, &fileSize);
      try {
        mcjobs::appendToArchive(archive, "big", big);
      } catch (const CheckError&) {
        return 3;
      }
      return 0;
    });
    EXPECT_EQ(status, 3) << "limit " << limit;
    EXPECT_EQ(readFile(archive), before) << "limit " << limit;
    EXPECT_FALSE(testfiles::exists(archive + ".journal")) << "limit " << limit;
  }
  // An archive the failed append created is removed again.
  const std::string fresh = dir.file("new.jobstar");
  EXPECT_EQ(inChild([&] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit fileSize{100, 100};
              setrlimit(RLIMIT_FSIZE, &fileSize);
              mcjobs::appendToArchive(fresh, "big", big);
              return 0;
            }),
            99);
  EXPECT_FALSE(testfiles::exists(fresh));
  EXPECT_EQ(testfiles::listDirectory(dir.path()).size(), 1u);
}

TEST(ArchiveAppend, ParallelWritersAndReaders) {
  ScratchDir dir;
  const std::string archive = dir.file("par.jobstar");
  constexpr int kWriters = 8, kAppends = 20, kReaders = 2;
  std::vector<pid_t> writers, readers;
  for (int w = 0; w < kWriters; ++w) {
    const pid_t pid = fork();
    if (pid == 0) {
      int status = 0;
      for (int a = 0; a < kAppends; ++a) {
        JobInstance instance = sample(static_cast<unsigned>(100 * w + a), 5 + 3 * a);
        try {
          mcjobs::appendToArchive(archive, "w" + std::to_string(w) + "a" + std::to_string(a),
                                  instance);
        } catch (...) {
          status = 1;
        }
      }
      _exit(status);
    }
    writers.push_back(pid);
  }
  // Readers list the archive until the writers are done; any failure ends them with status 1.
  const std::string done = dir.file("done");
  for (int r = 0; r < kReaders; ++r) {
    const pid_t pid = fork();
    if (pid == 0) {
      int status = 0;
      while (!testfiles::exists(done) && status == 0) {
        try {
          if (testfiles::exists(archive)) entriesOf(archive);
        } catch (...) {
          status = 1;
        }
      }
      _exit(status);
    }
    readers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int raw = 0;
    waitpid(pid, &raw, 0);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
  }
  testfiles::writeFile(done, "");
  for (pid_t pid : readers) {
    int raw = 0;
    waitpid(pid, &raw, 0);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "a reader failed";
  }
  ::unlink(done.c_str());

  const std::map<std::string, std::string> entries = entriesOf(archive);
  EXPECT_EQ(entries.size(), size_t{kWriters * kAppends});
  for (int w = 0; w < kWriters; ++w)
    for (int a = 0; a < kAppends; ++a) {
      JobInstance source = sample(static_cast<unsigned>(100 * w + a), 5 + 3 * a);
      const auto found = entries.find("w" + std::to_string(w) + "a" + std::to_string(a));
      ASSERT_NE(found, entries.end());
      EXPECT_EQ(found->second, textOf(source));
    }
}

TEST(ArchiveAppend, KilledWritersLoseOnlyUnreportedEntries) {
  ScratchDir dir;
  const std::string archive = dir.file("kill.jobstar");
  std::mt19937 rng(11);
  std::set<std::string> reported;
  std::map<std::string, unsigned> seeds;
  for (int round = 0; round < 12; ++round) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    for (int k = 0; k < 50; ++k)
      seeds["r" + std::to_string(round) + "k" + std::to_string(k)] =
          static_cast<unsigned>(1000 * round + k);
    const pid_t pid = fork();
    if (pid == 0) {
      close(pipeEnds[0]);
      for (int k = 0; k < 50; ++k) {
        const std::string name = "r" + std::to_string(round) + "k" + std::to_string(k);
        JobInstance instance = sample(static_cast<unsigned>(1000 * round + k), 50 + 30 * k, 200);
        mcjobs::appendToArchive(archive, name, instance);
        const std::string line = name + "\n";
        if (write(pipeEnds[1], line.data(), line.size()) < 0) _exit(1);
      }
      _exit(0);
    }
    close(pipeEnds[1]);
    usleep(static_cast<useconds_t>(2000 + rng() % 100000));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::string names;
    char chunk[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], chunk, sizeof chunk)) > 0)
      names.append(chunk, static_cast<size_t>(got));
    close(pipeEnds[0]);
    for (size_t at = 0, end; (end = names.find('\n', at)) != std::string::npos; at = end + 1)
      reported.insert(names.substr(at, end - at));

    // Before any repair, a reader sees the complete entries and names a torn tail as such.
    if (!testfiles::exists(archive)) continue;
    try {
      entriesOf(archive);
    } catch (const CheckError& failure) {
      EXPECT_NE(failure.condition().find("left by an interrupted append"), std::string::npos)
          << failure.what();
    }
  }
  JobInstance last = sample(5, 5);
  mcjobs::appendToArchive(archive, "last", last);
  EXPECT_FALSE(testfiles::exists(archive + ".journal"));
  const std::map<std::string, std::string> entries = entriesOf(archive);
  for (const std::string& name : reported) EXPECT_EQ(entries.count(name), 1u) << name;
  for (const auto& entry : entries) {
    if (entry.first == "last") continue;
    const int k = std::stoi(entry.first.substr(entry.first.find('k') + 1));
    JobInstance source = sample(seeds.at(entry.first), 50 + 30 * k, 200);
    EXPECT_EQ(entry.second, textOf(source)) << entry.first;
  }
  EXPECT_GE(reported.size(), 1u);
}

TEST(ArchiveAppend, Refusals) {
  ScratchDir dir;
  JobInstance instance = sample(3, 4);
  const std::string notArchive = dir.write("one.txt", "0 10 1 2 2\n");
  EXPECT_THROW(mcjobs::appendToArchive(notArchive, "x", instance), CheckError);
  EXPECT_EQ(readFile(notArchive), "0 10 1 2 2\n");
  EXPECT_THROW(mcjobs::appendToArchive(dir.path(), "x", instance), CheckError);
  const std::string archive = dir.file("a.jobstar");
  for (const std::string& name :
       {std::string("good:\n------\nevil"), std::string("cr\r"), std::string("tab\t"),
        std::string("del\x7f"), std::string("nul\0x", 5)}) {
    EXPECT_EQ(failedCheck([&] { mcjobs::appendToArchive(archive, name, instance); }),
              "validEntryName(jobsname)");
    FILE* stream = std::tmpfile();
    EXPECT_EQ(failedCheck([&] { instance.write_jobstar(name, stream); }),
              "validEntryName(jobsname)");
    EXPECT_EQ(std::ftell(stream), 0);
    std::fclose(stream);
  }
  EXPECT_FALSE(testfiles::exists(archive));
}

TEST(ArchiveAppend, WhatLiesAtTheJournalsPlace) {
  ScratchDir dir;
  JobInstance instance = sample(4, 4);
  const std::string archive = dir.file("a.jobstar"), journal = archive + ".journal";
  // Another archive named like the journal is refused, never removed or overwritten,
  // and an archive the refused append created goes again.
  mcjobs::appendToArchive(journal, "precious", instance);
  const std::string precious = readFile(journal);
  EXPECT_THROW(mcjobs::appendToArchive(archive, "x", instance), CheckError);
  EXPECT_EQ(readFile(journal), precious);
  EXPECT_FALSE(testfiles::exists(archive));
  EXPECT_EQ(entriesOf(dir.file("a.jobstar.journal")).count("precious"), 1u);
  // The journal of an archive that is gone since does not hold up a new one.
  testfiles::writeFile(journal, "mcjobs archive append journal\n700 9000\nrun9\n");
  mcjobs::appendToArchive(archive, "x", instance);
  EXPECT_FALSE(testfiles::exists(journal));
  // A name with no room for the journal's suffix can still be read; an append fails cleanly.
  const std::string longName = dir.file(std::string(250, 'n'));
  testfiles::writeFile(longName, readFile(archive));
  EXPECT_EQ(entriesOf(longName).size(), 1u);
  EXPECT_THROW(mcjobs::appendToArchive(longName, "y", instance), CheckError);
  EXPECT_EQ(readFile(longName), readFile(archive));
  // A dangling link is named as such instead of "File exists".
  ASSERT_EQ(symlink("missing", dir.file("dangling").c_str()), 0);
  try {
    mcjobs::appendToArchive(dir.file("dangling"), "x", instance);
    ADD_FAILURE();
  } catch (const CheckError& failure) {
    EXPECT_NE(std::string(failure.what()).find("symbolic link"), std::string::npos);
  }
  EXPECT_EQ(testfiles::listDirectory(dir.path()).size(), 3u);
}

// The journal an append killed mid-entry leaves behind: the archive's lengths before and
// after the entry, the entry's name and, unless an older version wrote it, the identity of
// the archive file `owner`.
std::string journalOf(size_t start, size_t end, const std::string& name,
                      const std::string& owner = "") {
  std::string text = "mcjobs archive append journal\n" + std::to_string(start) + " " +
                     std::to_string(end) + "\n" + name + "\n";
  struct stat status {};
  if (!owner.empty() && stat(owner.c_str(), &status) == 0)
    text += "file " + std::to_string(status.st_dev) + " " + std::to_string(status.st_ino) + "\n";
  return text;
}

// The names a walk visits, then the failure that ends it ("" when none).
std::pair<std::vector<std::string>, std::string> walkOf(const std::string& archive) {
  std::vector<std::string> names;
  try {
    mcjobs::forEachArchiveEntry(
        archive, ".*", [&](const std::string& name, JobInstance&) { names.push_back(name); });
  } catch (const CheckError& failure) {
    return {names, failure.what()};
  }
  return {names, ""};
}

// The failure of an append, or "" when it succeeds.
std::string appendFailure(const std::string& archive, const std::string& name,
                          JobInstance& instance) {
  try {
    mcjobs::appendToArchive(archive, name, instance);
  } catch (const CheckError& failure) {
    return failure.what();
  }
  return "";
}

TEST(ArchiveAppend, AJournalJudgesOnlyTheFileItNames) {
  ScratchDir dir;
  const std::string archive = dir.file("a.jobstar"), kept = dir.file("kept.jobstar");
  JobInstance first = sample(6, 4), second = sample(7, 30), third = sample(8, 3);
  mcjobs::appendToArchive(archive, "first", first);
  const std::string firstText = readFile(archive);
  mcjobs::appendToArchive(archive, "second", second);
  const std::string bothText = readFile(archive);
  const size_t start = firstText.size(), end = bothText.size();
  const std::string tornText = bothText.substr(0, start + 12);
  // Another archive whose length lies inside the torn entry's: lengths alone would cut it.
  const std::string otherText = firstText + "------\nzz:\n0 10 1 2 2\n";
  ASSERT_LT(otherText.size(), end);
  char* resolved = realpath(dir.path().c_str(), nullptr);
  const std::string journal = std::string(resolved) + "/a.jobstar.journal";
  std::free(resolved);
  const std::string at =
      archive + ":" + std::to_string(std::count(firstText.begin(), firstText.end(), '\n') + 1);
  const std::string torn = ": incomplete entry 'second' (12 bytes) left by an interrupted append";

  // A journal of an older version, which does not name its file, never cuts.
  testfiles::writeFile(archive, tornText);
  testfiles::writeFile(journal, journalOf(start, end, "second"));
  EXPECT_EQ(walkOf(archive),
            std::make_pair(std::vector<std::string>{"first"},
                           at + torn +
                               "; an older version's journal names no file, so the next append "
                               "leaves it to you"));
  EXPECT_EQ(appendFailure(archive, "third", third),
            at + ": cannot cut off the incomplete entry 'second' (12 bytes): its journal, from " +
                "an older version, does not name its file; check it (truncate -s " +
                std::to_string(start) + " cuts it) and remove " + journal);
  EXPECT_EQ(readFile(archive), tornText);
  EXPECT_TRUE(testfiles::exists(journal));

  // Another file at the archive's place (here a hard link) is judged as a whole and never cut.
  testfiles::writeFile(journal, journalOf(start, end, "second", archive));
  ASSERT_EQ(rename(archive.c_str(), kept.c_str()), 0);
  testfiles::writeFile(dir.file("other.jobstar"), otherText);
  ASSERT_EQ(link(dir.file("other.jobstar").c_str(), archive.c_str()), 0);
  struct stat owner {};
  ASSERT_EQ(stat(kept.c_str(), &owner), 0);
  EXPECT_EQ(walkOf(archive), std::make_pair(std::vector<std::string>{"first", "zz"}, std::string()));
  EXPECT_EQ(appendFailure(archive, "third", third),
            archive + ": cannot append to archive: " + journal +
                " is the journal of an interrupted append of 'second' to another file (device " +
                std::to_string(owner.st_dev) + ", inode " + std::to_string(owner.st_ino) +
                "); check that file and remove the journal");
  EXPECT_EQ(readFile(archive), otherText);

  // Back at its place, under any name, the journal's own file is cut as it says.
  ASSERT_EQ(unlink(archive.c_str()), 0);
  ASSERT_EQ(link(kept.c_str(), archive.c_str()), 0);
  EXPECT_EQ(walkOf(archive), std::make_pair(std::vector<std::string>{"first"},
                                            at + torn + "; the next append cuts it off"));
  EXPECT_EQ(mcjobs::appendToArchive(archive, "third", third).repaired,
            at + ": cut off the incomplete entry 'second' (12 bytes) left by an interrupted append");
  EXPECT_FALSE(testfiles::exists(journal));
  EXPECT_EQ(walkOf(kept),
            std::make_pair(std::vector<std::string>{"first", "third"}, std::string()));
}

TEST(ArchiveReaderObjects, WalkIndependentlyOfEachOtherAndOfReadJobstar) {
  ScratchDir dir;
  const std::string archive = dir.file("walk.jobstar");
  std::vector<std::string> names;
  for (int i = 0; i < 6; ++i) {
    JobInstance instance = sample(static_cast<unsigned>(i), 3 + i);
    names.push_back((i % 2 ? "odd" : "even") + std::to_string(i));
    mcjobs::appendToArchive(archive, names.back(), instance);
  }
  FILE* stream = std::fopen(archive.c_str(), "r");
  mcjobs::ArchiveReader all(stream), evens(stream, "even[0-9]"), again(stream);
  std::vector<std::string> seenAll, seenEvens, seenAgain;
  std::string name, jobstarName;
  // Interleave the three walks and a read_jobstar walk over the same stream.
  for (int step = 0; step < 8; ++step) {
    if (auto e = all.next(name)) seenAll.push_back(name);
    delete JobInstance::read_jobstar(".*", stream, jobstarName, false);
    if (auto e = evens.next(name)) seenEvens.push_back(name);
    if (step % 2 == 0)
      if (auto e = again.next(name)) seenAgain.push_back(name);
  }
  EXPECT_EQ(seenAll, names);
  EXPECT_EQ(seenEvens, (std::vector<std::string>{"even0", "even2", "even4"}));
  EXPECT_EQ(seenAgain, (std::vector<std::string>{"even0", "odd1", "even2", "odd3"}));
  EXPECT_EQ(all.next(name), nullptr);
  EXPECT_EQ(name, "");
  all.restart();
  ASSERT_NE(all.next(name), nullptr);
  EXPECT_EQ(name, "even0");
  std::fclose(stream);
}

TEST(ArchiveReaderObjects, FaultsNameTheSourceAndLine) {
  ScratchDir dir;
  const std::string archive =
      dir.write("bad.jobstar", "------\nok:\n0 10 1 2 2\n------\nbad:\n0 10 1 2 2\n\n------\nz:\n");
  std::vector<std::string> seen;
  try {
    mcjobs::forEachArchiveEntry(
        archive, ".*", [&](const std::string& name, JobInstance&) { seen.push_back(name); });
    ADD_FAILURE();
  } catch (const CheckError& failure) {
    EXPECT_EQ(std::string(failure.what()), archive + ":7: success && \"Job instance read error!\"");
  }
  EXPECT_EQ(seen, std::vector<std::string>{"ok"});
}

}  // namespace
