// The native copy of a log that has travelled: a log in EUC-JP or UTF-8, or
// with LF or CR line ends, is converted once into Shift-JIS with CR LF line
// ends, kept in the user's cache folder, and the scanner and the text
// retrieval read the copy. The original is only ever read.
//
// The cache folder is $XDG_CACHE_HOME/kest32 (by default ~/.cache/kest32).
// One copy per original path (and forced encoding): "<key>.log" beside
// "<key>.key", a small text naming the original's path, size and
// modification time. Logs packed in archives are extracted into the same
// folder under the same rules (archive/MemberCopy), their keys naming the
// archive and the member. A copy whose original has changed is made afresh in
// place; copies not used lately are removed so that the folder stays within
// kCacheMaxBytes and kCacheMaxCopies.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "log/LineReader.h"
#include "log/LogForm.h"

namespace kest {

// The bound of the cache folder: at most 1 GiB of copies and at most 64 of
// them, whichever is reached first. The copy of the log being opened is
// always kept, even alone beyond the bound.
constexpr std::uint64_t kCacheMaxBytes = std::uint64_t(1) << 30;
constexpr std::size_t kCacheMaxCopies = 64;

// Characters the conversion could not carry over; each became "〓".
struct ConversionCounts {
  std::uint64_t unmapped = 0;  // valid characters that have no Shift-JIS form
  std::uint64_t invalid = 0;   // byte sequences that are no character of the encoding
  bool operator==(const ConversionCounts&) const = default;
};

// A failure to write the copy (a full disk, an input/output error); the
// message is Japanese (UTF-8) and names the folder. `error` is the errno.
class NativeWriteError : public LogFileError {
 public:
  NativeWriteError(const std::string& message, int error) : LogFileError(message), error(error) {}
  int error;
};

// The copy was stopped through NativeCopyOptions::cancel; nothing of it is
// left.
class CopyCancelled : public LogFileError {
 public:
  CopyCancelled() : LogFileError("取り消しました") {}
};

// Writes like ::write; replaced by tests to make a disk fill up.
using WriteFunction = std::function<ssize_t(int fd, const void* data, std::size_t size)>;

// Reads up to `size` bytes into `data`: fewer, down to none, only at the end
// of the input. Throws LogFileError when reading fails.
using ReadFunction = std::function<std::size_t(char* data, std::size_t size)>;

// ::read on `fd`, again after EINTR, as a ReadFunction does.
std::size_t ReadFromFd(int fd, char* data, std::size_t size);

// Converts everything that can be read from `in` (up to its end) from
// `form` into Shift-JIS with CR LF line ends, written to `out` in blocks of
// `blockSize` bytes. `progress` gets the bytes read so far after each block.
// Throws LogFileError when reading fails and NativeWriteError when writing
// fails (what was written stays; removing it is the caller's).
ConversionCounts ConvertToNative(int in, int out, const LogForm& form,
                                 const std::function<void(std::int64_t)>& progress = {},
                                 const WriteFunction& write = {}, std::size_t blockSize = 4 << 20);
// The same from any input.
ConversionCounts ConvertToNative(const ReadFunction& in, int out, const LogForm& form,
                                 const std::function<void(std::int64_t)>& progress = {},
                                 const WriteFunction& write = {}, std::size_t blockSize = 4 << 20);

struct NativeCopyOptions {
  // Overrules the detected encoding (the line ends are still detected).
  std::optional<LogEncoding> encoding;
  // The cache folder; empty: DefaultCacheDir().
  std::filesystem::path cacheDir;
  std::uint64_t maxBytes = kCacheMaxBytes;
  std::size_t maxCopies = kCacheMaxCopies;
  // Percentages 0..100 while a conversion runs.
  std::function<void(int percent)> progress;
  // Looked at after every block: once set, the copy stops, what was written
  // of it is removed, and CopyCancelled is thrown. May be set from another
  // thread.
  const std::atomic<bool>* cancel = nullptr;
  WriteFunction write;
  std::size_t blockSize = 4 << 20;
};

// A log that is no file of its own (a member of an archive), copied into
// the cache folder by OpenNativeCopy under the rules of a converted log:
// one copy per source, reused while the source stays as it was, made afresh
// when it has changed, and removed in turn when the folder is full.
class CopySource {
 public:
  virtual ~CopySource() = default;
  // The file the log comes from, as the user is told it.
  virtual const std::filesystem::path& Original() const = 0;
  // The log's name within it (UTF-8); empty for the file itself.
  virtual std::string Member() const { return {}; }
  // What the copy is named after: the same for every state of the source.
  virtual std::string CacheName() const = 0;
  // "name=value" lines that a copy's key must begin with for the copy to be
  // reused: the source as it is now, or, once reading has begun, as it was
  // when the last reading began.
  virtual std::string Identity() = 0;
  // Begins reading at the first byte (again, after a change). Throws
  // LogFileError.
  virtual void Start() = 0;
  // The next bytes of the log, as a ReadFunction.
  virtual std::size_t Read(char* data, std::size_t size) = 0;
  // The log's length in bytes, for the progress; -1 when not known.
  virtual std::int64_t Length() const = 0;
  // After the end was read: the source stayed the same all along.
  virtual bool Steady() = 0;
  // What the user is told when it changed during each of three readings.
  virtual std::string ChangingMessage() const = 0;
};

// Two states of one file, taken before and after it was read: the same
// file (device and inode), size and modification time.
bool Unchanged(const struct stat& before, const struct stat& after);

// The file the scanner reads for one log.
class NativeLog {
 public:
  NativeLog() = default;
  NativeLog(NativeLog&& other) noexcept;
  NativeLog& operator=(NativeLog&& other) noexcept;
  ~NativeLog();  // removes a temporary copy

  // The native log itself, or its copy.
  const std::filesystem::path& ReadPath() const { return read_; }
  // The log's file, or the archive that holds it.
  const std::filesystem::path& Original() const { return original_; }
  // The member of the archive (UTF-8); empty for a log of its own.
  const std::string& Member() const { return member_; }
  const LogForm& Form() const { return form_; }
  // The scanner reads a copy rather than the original.
  bool Converted() const { return read_ != original_; }
  // The copy was made by this opening (not found in the cache).
  bool Fresh() const { return fresh_; }
  // The cache folder could not be written: the copy is a temporary file,
  // removed when this object goes.
  bool Temporary() const { return temporary_; }
  const ConversionCounts& Counts() const { return counts_; }

 private:
  static NativeLog CopyOf(CopySource& source, const LogForm& form, const NativeCopyOptions& options,
                          bool temporaryAllowed);
  friend NativeLog OpenNativeLog(const std::filesystem::path&, const NativeCopyOptions&);
  friend NativeLog OpenNativeCopy(CopySource&, const NativeCopyOptions&);
  std::filesystem::path original_;
  std::string member_;
  std::filesystem::path read_;
  LogForm form_;
  ConversionCounts counts_;
  bool fresh_ = false;
  bool temporary_ = false;
};

// Detects the log's form; a native log is read as it stands (one look at its
// first block), any other is converted into the cache folder, or reused from
// it. When the cache folder cannot be written the copy goes into a temporary
// file. Throws LogFileError (a Japanese message) when the original cannot be
// read, keeps changing while it is converted, or the copy cannot be written
// (a partial copy is removed first).
NativeLog OpenNativeLog(const std::filesystem::path& original, const NativeCopyOptions& options = {});

// The copy of `source` in the cache folder, in the form detected on its first
// bytes (or options.encoding): reused when its key names the source as it is
// now, else made afresh, and always a copy, also of a native log. Nothing is
// ever written outside the cache folder: when it cannot be written, or the
// copy fails or is cancelled, LogFileError (a Japanese message) is thrown and
// no part of the copy is left.
NativeLog OpenNativeCopy(CopySource& source, const NativeCopyOptions& options = {});

// $XDG_CACHE_HOME/kest32 when that is an absolute path, else ~/.cache/kest32.
std::filesystem::path DefaultCacheDir();

// What the user is told once about characters that became "〓"; empty when
// every character converted. UTF-8.
std::string ReplacedMessage(const ConversionCounts& counts);

// Where the window says that it shows a converted log, e.g.
// "UTF-8・LF から変換", or a member of an archive, "ｱｰｶｲﾌﾞ forum.lzh から展開".
// Empty for a native log. UTF-8.
std::string ConversionNotice(const NativeLog& log);

}  // namespace kest
