// Opening a log: only regular files, refused at once by kind and never
// waited on; and the identity of a file, which tells a log changed behind
// its index from one left alone.
#include "log/LogFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "core/LogFixture.h"

namespace kest {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// Runs `f` in a child process; its exit status, or -1 when it has not ended
// within `seconds` (it is killed then).
int ExitWithin(int seconds, const std::function<int()>& f) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(f());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

LogFileError::Reason RefusalOf(const fs::path& p) {
  try {
    ::close(OpenLogFile(p));
  } catch (const LogFileError& e) {
    return e.reason();
  }
  return LogFileError::Reason::Other;
}

TEST(OpenLogFileTest, OnlyRegularFilesAreOpenedAndNothingWaits) {
  TempDir dir;
  const fs::path fifo = dir.Path() / "f.log";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A pipe with no writer would make an open wait for ever: refused by its
  // kind, in a child that is killed should it hang.
  EXPECT_EQ(ExitWithin(10, [&] { return RefusalOf(fifo) == LogFileError::Reason::NotRegular ? 0 : 1; }), 0);
  for (const char* device : {"/dev/zero", "/dev/urandom", "/dev/null"}) {
    SCOPED_TRACE(device);
    EXPECT_EQ(RefusalOf(device), LogFileError::Reason::NotRegular);
  }
  try {
    OpenLogFile(fifo);
    ADD_FAILURE() << "opened a pipe";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.text(), "通常のファイルではありません（名前付きパイプです）");
    EXPECT_EQ(e.path(), fifo);
    EXPECT_EQ(std::string(e.what()), e.text() + ": " + fifo.string());
    EXPECT_FALSE(e.advice().empty());
  }
  try {
    OpenLogFile("/dev/zero");
    ADD_FAILURE() << "opened a device";
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.text(), "通常のファイルではありません（デバイスです）");
  }
}

TEST(OpenLogFileTest, LinksLoopsFoldersAndMissingFilesAreToldApart) {
  TempDir dir;
  const fs::path a = dir.Path() / "a.log", b = dir.Path() / "b.log";
  fs::create_symlink(b, a);
  fs::create_symlink(a, b);
  EXPECT_EQ(RefusalOf(a), LogFileError::Reason::LinkLoop);
  try {
    OpenLogFile(a);
  } catch (const LogFileError& e) {
    EXPECT_EQ(e.text(), "リンクが循環しています");
    EXPECT_EQ(e.path(), a);
  }
  EXPECT_EQ(RefusalOf(dir.Path()), LogFileError::Reason::Folder);
  EXPECT_EQ(RefusalOf(dir.Path() / "none.log"), LogFileError::Reason::Missing);
  EXPECT_EQ(RefusalOf(dir.Path() / "none" / "x.log"), LogFileError::Reason::Missing);
  EXPECT_EQ(RefusalOf(""), LogFileError::Reason::Missing);

  // A link to a regular file is followed, and what is opened can be read.
  const fs::path real = dir.Write("real.log", "text");
  const fs::path link = dir.Path() / "link.log";
  fs::create_symlink(real, link);
  const int fd = OpenLogFile(link);
  char buf[8] = {};
  EXPECT_EQ(::read(fd, buf, sizeof buf), 4);  // blocking as usual again
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  ::close(fd);
}

// --- The identity of a file ------------------------------------------------------

class FileIdentityTest : public ::testing::Test {
 protected:
  TempDir dir_;
  fs::path path_ = dir_.Write("log.log", Body('a'));

  static std::string Body(char c, std::size_t size = 20000) { return std::string(size, c); }
  // Rewrites bytes in place (same inode), as an editor that saves in place does.
  void Overwrite(std::size_t at, const std::string& bytes) {
    const int fd = ::open(path_.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)),
              static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }
  // Puts the modification time back to what it was.
  void SetMtime(const FileIdentity& id) {
    const timespec times[2] = {
        {0, UTIME_OMIT}, {static_cast<time_t>(id.mtimeSeconds), static_cast<long>(id.mtimeNanoseconds)}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
  }
};

TEST_F(FileIdentityTest, AFileLeftAloneIsTheSame) {
  const FileIdentity then = IdentifyFile(path_);
  EXPECT_EQ(then.size, 20000);
  EXPECT_EQ(CompareFile(then, path_), FileChange::None);
  EXPECT_EQ(IdentifyFile(path_), then);
}

TEST_F(FileIdentityTest, EveryKindOfChangeIsCaught) {
  const FileIdentity then = IdentifyFile(path_);
  // Rewritten in place, same size, its time put back: the digest of the
  // start tells, and so does that of the end.
  Overwrite(10, "b");
  SetMtime(then);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Changed);
  Overwrite(10, "a");
  Overwrite(19990, "b");
  SetMtime(then);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Changed);
  Overwrite(19990, "a");
  SetMtime(then);
  EXPECT_EQ(CompareFile(then, path_), FileChange::None);

  // The same bytes with another modification time, to the nanosecond.
  FileIdentity later = then;
  later.mtimeNanoseconds = (then.mtimeNanoseconds + 1) % 1000000000;
  SetMtime(later);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Changed);
  SetMtime(then);

  // Grown, cut short, replaced by another file of the same bytes, gone.
  dir_.Write("log.log", Body('a', 20001));
  EXPECT_EQ(CompareFile(then, path_), FileChange::Changed);
  std::filesystem::resize_file(path_, 100);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Shorter);
  const fs::path other = dir_.Write("other.log", Body('a'));
  fs::rename(other, path_);
  SetMtime(then);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Changed);  // another inode
  fs::remove(path_);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Gone);
  ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
  EXPECT_EQ(CompareFile(then, path_), FileChange::Gone);  // no log any more, and no wait
}

TEST_F(FileIdentityTest, SmallAndEmptyFiles) {
  const fs::path empty = dir_.Write("empty.log", "");
  const FileIdentity e = IdentifyFile(empty);
  EXPECT_EQ(e.size, 0);
  EXPECT_EQ(CompareFile(e, empty), FileChange::None);
  const fs::path small = dir_.Write("small.log", "abc");
  const FileIdentity s = IdentifyFile(small);
  dir_.Write("small.log", "abd");
  EXPECT_EQ(CompareFile(s, small), FileChange::Changed);
}

TEST(ChangedFileErrorTest, SaysWhatChangedAndWhatToDo) {
  const LogFileError shorter = ChangedFileError(FileChange::Shorter, "/x/a.log");
  EXPECT_EQ(shorter.reason(), LogFileError::Reason::Changed);
  EXPECT_EQ(shorter.text(), "ログファイルが変更されました（読み込んだ後に短くなっています）");
  EXPECT_EQ(std::string(shorter.what()), shorter.text() + ": /x/a.log");
  EXPECT_NE(shorter.advice().find("読み直す"), std::string::npos);
  EXPECT_EQ(ChangedFileError(FileChange::Changed, "/x/a.log").text(), "ログファイルが変更されました");
  EXPECT_EQ(ChangedFileError(FileChange::Changed, "/x/a.log", true).text(),
            "ログファイルが読み込み中に変更されました");
  const LogFileError gone = ChangedFileError(FileChange::Gone, "/x/a.log");
  EXPECT_EQ(gone.reason(), LogFileError::Reason::Missing);
  EXPECT_NE(gone.text().find("見つかりません"), std::string::npos);
}

}  // namespace
}  // namespace kest
