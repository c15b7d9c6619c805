// Large synthetic logs for measuring: remarks of realistic size and shape,
// about two in five starting a thread and the rest answering one of the
// recent remarks, so threads grow several levels deep.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

// A library as a member of a service kept it: one log per forum room and
// period, in a folder per forum. Unlike the logs above, whose bodies repeat
// ten phrases, the text is drawn from a vocabulary of 30,000 words (kanji
// compounds, katakana, hiragana, ASCII, full-width letters, half-width kana)
// used by Zipf's law between the particles and endings of Japanese, so its
// character pairs are as many and as unevenly used as in real remarks. The
// posters of a forum, the threads and the dates (1988 to 2005, two-digit
// years) vary likewise. The word of RareWord() is planted in about one
// remark in 2,000, and nowhere else.
struct GeneratedLibrary {
  std::vector<GeneratedLog> logs;
  std::int64_t bytes = 0;
  std::int64_t remarks = 0;
};
GeneratedLibrary WriteLibrary(const std::filesystem::path& dir, std::int64_t totalBytes, int logs,
                              unsigned seed = 1);

// One log of such a library, written to `path`: about `targetBytes`, forum
// `forum`, its first remark dated `firstDay` days after 1988-01-01.
GeneratedLog WriteForumLog(const std::filesystem::path& path, std::int64_t targetBytes, unsigned seed,
                           int forum, int firstDay);

// Two kanji, in Shift-JIS, that only the planted word uses.
std::string RareWord();

}  // namespace kest::bench
