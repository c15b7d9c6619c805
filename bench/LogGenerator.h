// Large synthetic logs for measuring: remarks of realistic size and shape,
// about two in five starting a thread and the rest answering one of the
// recent remarks, so threads grow several levels deep.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace kest::bench {

struct GeneratedLog {
  std::filesystem::path path;
  std::int64_t bytes = 0;
  std::int32_t remarks = 0;
};

// Writes (or reuses, when one of that size is there already) a log of about
// `targetBytes` bytes in the system's temporary folder.
GeneratedLog MakeLog(std::int64_t targetBytes, unsigned seed = 1);

// Streams a log of about `targetBytes` bytes to `path`.
GeneratedLog WriteLog(const std::filesystem::path& path, std::int64_t targetBytes, unsigned seed = 1);

// Adversarial shapes: every remark after the first answers remark 1 (a fan),
// or answers the one before it (a chain as deep as the log is long).
enum class Shape { Fan, Chain };
GeneratedLog WriteShape(const std::filesystem::path& path, Shape shape, std::int32_t remarks);

// The same remarks as a string, for tests and in-memory benchmarks.
std::string GenerateLog(std::int64_t targetBytes, unsigned seed, std::int32_t* remarks = nullptr);

}  // namespace kest::bench
