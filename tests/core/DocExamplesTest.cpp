// Every command line the man pages and the READMEs show as an example runs,
// against the sample log, as a user would type it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/BatchRun.h"
#include "core/LogFixture.h"

namespace kest {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const fs::path& p) {
  std::ifstream in(p);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// A command line of the batch side that can be run as it stands: it starts
// with "kest32 --", and holds no placeholder of a synopsis.
bool RunnableExample(const std::string& line) {
  if (line.rfind("kest32 --", 0) != 0) return false;
  for (const char* placeholder : {"[", "FILE", "ARCHIVE", "NUMBER", "TEXT", "OPTIONS", "LIST", " | --"}) {
    if (line.find(placeholder) != std::string::npos) return false;
  }
  return true;
}

// The lines of the man page's filled-off blocks (.nf ... .fi), with the
// escaped minus signs as typed.
std::vector<std::string> ManExamples(const fs::path& page) {
  std::vector<std::string> out;
  bool block = false;
  for (std::string l : Lines(page)) {
    if (l == ".nf") block = true;
    if (l == ".fi") block = false;
    if (!block) continue;
    for (std::size_t at; (at = l.find("\\-")) != std::string::npos;) l.replace(at, 2, "-");
    if (RunnableExample(l)) out.push_back(l);
  }
  return out;
}

// The lines of the README's code blocks.
std::vector<std::string> ReadmeExamples(const fs::path& readme) {
  std::vector<std::string> out;
  bool block = false;
  for (const std::string& l : Lines(readme)) {
    if (l.rfind("```", 0) == 0) {
      block = !block;
      continue;
    }
    if (block && RunnableExample(l)) out.push_back(l);
  }
  return out;
}

TEST(DocExamplesTest, EveryExampleRunsAgainstTheSampleLog) {
  const fs::path source(KEST_SOURCE_DIR);
  const std::string sample = (source / "samples" / "sample.log").string();
  std::vector<std::string> examples;
  for (const char* page : {"data/man/kest32.1", "data/man/ja/kest32.1"}) {
    const std::vector<std::string> found = ManExamples(source / page);
    EXPECT_GE(found.size(), 3u) << page;  // the examples are where they are looked for
    examples.insert(examples.end(), found.begin(), found.end());
  }
  for (const char* readme : {"README.md", "README.ja.md"}) {
    const std::vector<std::string> found = ReadmeExamples(source / readme);
    examples.insert(examples.end(), found.begin(), found.end());
  }

  test::TempDir dir;
  int libraries = 0;
  for (std::string example : examples) {
    SCOPED_TRACE(example);
    // The program's own words after "kest32" as the shell takes them, the
    // sample in place of the log, a folder of the test's holding it in place
    // of a folder of logs, a sample archive in place of one of that
    // name, a file the example writes (-o) in the test's folder, and what
    // the example pipes or sends its output into left out.
    for (const char* into : {" | ", " > "}) {
      if (const std::size_t at = example.find(into); at != std::string::npos) example.resize(at);
    }
    std::istringstream in(example.substr(std::string("kest32 ").size()));
    std::string args, previous;
    fs::path written;
    for (std::string w; in >> w; previous = w) {
      std::error_code ec;
      if (w == "forum.log") {
        args += " '" + sample + "'";
      } else if (fs::is_regular_file(source / "samples" / w, ec)) {
        args += " '" + (source / "samples" / w).string() + "'";
      } else if (w.rfind("~/", 0) == 0) {
        // A folder of the user's logs: one of the test's, with the sample.
        const fs::path folder = dir.Path() / w.substr(2);
        fs::create_directories(folder, ec);
        fs::copy_file(sample, folder / "sample.log", fs::copy_options::skip_existing, ec);
        args += " '" + folder.string() + "'";
      } else if (previous == "-o") {
        written = dir.Path() / w;
        args += " '" + written.string() + "'";
      } else {
        args += " " + w;
      }
    }
    // The library's commands keep their index in the test's folder: a new
    // one from each page's first example, which adds the folders.
    if (example.rfind("kest32 --library-add", 0) == 0) ++libraries;
    if (example.rfind("kest32 --library", 0) == 0) {
      args += " --library='" + (dir.Path() / ("library-" + std::to_string(libraries) + ".db")).string() + "'";
    }
    const test::Result r = test::RunKest32(dir.Path(), dir.Path() / "Kest.INI", args, 60);
    EXPECT_EQ(r.status, 0) << r.err;
    if (written.empty()) {
      EXPECT_FALSE(r.out.empty());
    } else {
      std::error_code ec;
      EXPECT_GT(fs::file_size(written, ec), 0u) << written;
    }
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
}  // namespace kest
