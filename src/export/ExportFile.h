// Where an export goes: a file that is replaced only once it is whole, or a
// stream.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

#include "log/NativeCopy.h"

namespace kest {

// A failure to write an export, or a target that must not be written; the
// message is Japanese (UTF-8) and names the file.
class ExportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Takes the bytes of an export.
class ExportSink {
 public:
  virtual ~ExportSink() = default;
  // Throws ExportError when the bytes cannot be written.
  virtual void Write(std::string_view bytes) = 0;
};

// An export to a file. The bytes go to a temporary file beside the target
// (".NAME.XXXXXX"), which takes the target's place by rename at Commit; an
// export that fails or is cancelled leaves the target as it was and no
// temporary file behind. As with the shell's redirection: a target that is
// a symbolic link is followed, an existing file keeps its permissions and
// one that may not be written is refused; a target that is no regular file
// (a device such as /dev/null, a named pipe) is written in place.
class ExportFile final : public ExportSink {
 public:
  // Throws ExportError when the target cannot be written (a folder, a
  // read-only file, a folder that takes no new file).
  explicit ExportFile(const std::filesystem::path& target, WriteFunction write = {});
  ~ExportFile() override;
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  void Write(std::string_view bytes) override;
  // The file takes the target's place. Throws ExportError when that fails.
  void Commit();

  // The file that is replaced (the link's target for a symbolic link).
  const std::filesystem::path& Target() const { return target_; }

 private:
  [[noreturn]] void Fail(const std::string& what, int error);

  std::filesystem::path target_;
  std::filesystem::path temp_;  // empty when written in place
  int fd_ = -1;
  WriteFunction write_;
  bool committed_ = false;
};

// An export to a stream (the batch side's standard output).
class StreamSink final : public ExportSink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  void Write(std::string_view bytes) override;

 private:
  std::ostream& out_;
};

}  // namespace kest
