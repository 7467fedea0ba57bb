// A study written as a results folder, one file per simulator: read as one
// study by gpusim-report and merged into the file --binary writes, with
// fast-simulator stand-ins on real sockets.
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "TestProcess.h"
#include "manager/ManagerProcess.h"

namespace {

using managertest::ManagerProcess;

class ResultsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/gpusim-results-folder-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  testprocess::Outcome Report(const std::string& arguments) const {
    return testprocess::RunRedirected(std::string(GPUSIM_BUILD_DIR) + "/gpusim-report " + arguments,
                                      dir_ + "/report.out", dir_ + "/report.err");
  }
  // A fixed study (every simulator a fixed share): the same blocks on every run.
  int Study(const std::vector<std::string>& output, std::string* figures = nullptr) const {
    std::vector<std::string> words = {"--quiet", "--csv", "--simulators", "5", "--replications", "3001",
                                      "--report-size", "64", "--ingest-threads", "2", "--gpusim",
                                      FAST_SIMULATOR_BINARY};
    words.insert(words.end(), output.begin(), output.end());
    ManagerProcess run(dir_, words);
    const int status = run.Wait(120);
    if (figures != nullptr) *figures = run.Out();
    if (status != 0) ADD_FAILURE() << run.Err();
    return status;
  }

  std::string dir_;
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The metadata without where each simulator ran (its process id).
std::string WithoutWhere(const std::string& metadata) {
  std::string kept;
  for (const std::string& line : testprocess::Lines(metadata)) {
    const std::size_t second = line.find(',', line.find(',') + 1);
    kept += (line.compare(0, 10, "simulator=") == 0 ? line.substr(0, second) : line) + "\n";
  }
  return kept;
}

// The folder holds the same study as the merged file: the same figures from
// the manager and from gpusim-report, and the merged file made from the
// folder is --binary's byte for byte.
TEST_F(ResultsFolderTest, FolderReadsAndMergesAsTheMergedFileOfTheSameStudy) {
  const std::string merged = dir_ + "/merged.bin";
  const std::string folder = dir_ + "/study";
  std::string mergedFigures, folderFigures;
  ASSERT_EQ(Study({"--binary", merged}, &mergedFigures), 0);
  ASSERT_EQ(Study({"--results-folder", folder}, &folderFigures), 0);
  EXPECT_EQ(Replaced(folderFigures, folder, merged), mergedFigures);

  const testprocess::Outcome ofFile = Report("--csv '" + merged + "'");
  const testprocess::Outcome ofFolder = Report("--csv '" + folder + "'");
  ASSERT_EQ(ofFile.status, 0) << ofFile.err;
  ASSERT_EQ(ofFolder.status, 0) << ofFolder.err;
  EXPECT_EQ(Replaced(Replaced(ofFolder.out, "folder: " + folder + " (binary, 5 simulator files,", "file: " + merged +
                    " (binary,"), folder, merged), ofFile.out);

  const std::string remade = dir_ + "/remade.bin";
  const testprocess::Outcome merge = Report("--merge '" + folder + "' '" + remade + "'");
  ASSERT_EQ(merge.status, 0) << merge.err;
  EXPECT_TRUE(testprocess::ReadFile(remade) == testprocess::ReadFile(merged)) << "the merged files differ";
  EXPECT_EQ(WithoutWhere(Replaced(testprocess::ReadFile(remade + ".meta"), remade, merged)),
            WithoutWhere(testprocess::ReadFile(merged + ".meta")));
}

// What is refused, before any simulator starts (the manager, status 2) or
// when read (gpusim-report, status 1), with the message naming the problem.
TEST_F(ResultsFolderTest, RefusesWhatIsNotAFinishedResultsFolder) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> make;
    std::string command;  // "manager ..." or a gpusim-report command line, PATH standing for the path
    int status;
    const char* message;
  };
  const auto write = [](const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  };
  const auto folderWith = [write](const std::string& name, const std::string& bytes) {
    return [write, name, bytes](const std::string& path) {
      ::mkdir(path.c_str(), 0755);
      write(path + "/" + name, bytes);
    };
  };
  const std::string index = "gpusim-results-folder 1\nexperiment=0\nseed=1\ngenerator=x\nbatches=0\n"
                            "file=simulator-0.bin 64\nend\n";
  const Case cases[] = {
      {"a folder holding other files", folderWith("notes.txt", "mine"), "manager", 2, "is not empty"},
      {"other files, even with --force", folderWith("notes.txt", "mine"), "manager --force", 2,
       "notes.txt, which is not a results folder's"},
      {"a regular file", [write](const std::string& path) { write(path, "x"); }, "manager", 2, "is not a folder"},
      {"a folder without its index", folderWith("simulator-0.bin", std::string(300, '\0')), "PATH", 1,
       "unfinished results folder"},
      {"merging one without its index", folderWith("simulator-0.bin", std::string(300, '\0')),
       "--merge PATH PATH.bin", 1, "unfinished results folder"},
      {"merging what is no folder", [](const std::string&) {}, "--merge PATH PATH.bin", 1,
       "not a results folder: No such file"},
      {"an index listing a missing file", folderWith("index", index), "PATH", 1,
       "simulator-0.bin, which is missing"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_ + "/case" + std::to_string(n++);
    c.make(path);
    if (c.command.compare(0, 7, "manager") == 0) {
      std::vector<std::string> words = {"--simulators", "2", "--replications", "10", "--gpusim",
                                        FAST_SIMULATOR_BINARY, "--results-folder", path};
      if (c.command != "manager") words.push_back("--force");
      ManagerProcess run(dir_, words);
      EXPECT_EQ(run.Wait(60), c.status);
      EXPECT_NE(run.Err().find(c.message), std::string::npos) << run.Err();
      struct stat notes {};
      if (::stat((path + "/notes.txt").c_str(), &notes) == 0) {
        EXPECT_EQ(testprocess::ReadFile(path + "/notes.txt"), "mine");
      }
    } else {
      const testprocess::Outcome r = Report(Replaced(c.command, "PATH", "'" + path + "'"));
      EXPECT_EQ(r.status, c.status);
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
  }
}

// A disk that fills up during the study (a file size limit stands in for
// it): the blocks the figures counted could not all be written, so the
// study fails and leaves no results behind, whichever form they take.
TEST_F(ResultsFolderTest, AStudyThatCannotWriteItsBlocksLeavesNoResults) {
  for (const char* option : {"--binary", "--results-folder"}) {
    SCOPED_TRACE(option);
    const std::string path = dir_ + "/full" + option;
    ManagerProcess run(dir_,
                       {"--quiet", "--simulators", "2", "--replications", "40000", "--report-size", "100", option, path,
                        "--gpusim", FAST_SIMULATOR_BINARY},
                       [] {
                         ::signal(SIGXFSZ, SIG_IGN);
                         const rlimit limit{256 * 1024, 256 * 1024};
                         ::setrlimit(RLIMIT_FSIZE, &limit);
                       });
    EXPECT_EQ(run.Wait(120), 1);
    EXPECT_NE(run.Err().find("could not be written"), std::string::npos) << run.Err();
    struct stat left {};
    EXPECT_NE(::stat(path.c_str(), &left), 0) << path << " was left behind";
  }
}

}  // namespace
