#include "LogGenerator.h"

#include <cstdio>
#include <fstream>
#include <ostream>
#include <random>

#include "platform/Codec.h"

namespace kest::bench {

namespace {

// Appends remarks until `out` holds about `targetBytes`, flushing to `sink`
// (when given) every few megabytes so a gigabyte needs no gigabyte of memory.
std::int64_t Generate(std::int64_t targetBytes, unsigned seed, std::int32_t* remarks, std::string& out,
                      std::ostream* sink) {
  std::mt19937 rng(seed);
  // Whether a remark laughs, drawn apart from the rest so the remarks are the
  // same as before but for that.
  std::mt19937 laughs(seed ^ 0x5A5A5A5Au);
  std::int64_t flushed = 0;
  const std::string title = Utf8ToSjis("ＦＢＥＮＣＨ　ベンチマーク用会議室　ログ");
  const std::string words[] = {Utf8ToSjis("こんばんは。"), Utf8ToSjis("自作パソコンの話です。"),
                               Utf8ToSjis("ＣＰＵを交換しました。"), Utf8ToSjis("ﾒﾓﾘが足りません。"),
                               "Pentium 133MHz ", "EDO-RAM 32MB ", Utf8ToSjis("ありがとうございました。"),
                               Utf8ToSjis("ところで、"), "> ", Utf8ToSjis("ではでは。")};
  const std::string laugh = Utf8ToSjis("（笑）");
  const char* speakers[] = {"SAKURA", "TARO", "HANAKO", "KEN", "MIDORI", "JIRO", "YUKI", "SORA"};
  out = title + "\r\n\r\n";
  if (!sink) out.reserve(static_cast<std::size_t>(targetBytes) + 4096);
  std::int32_t n = 0;
  char buf[256];
  while (flushed + static_cast<std::int64_t>(out.size()) < targetBytes) {
    if (sink && out.size() > (8u << 20)) {
      sink->write(out.data(), static_cast<std::streamsize>(out.size()));
      flushed += static_cast<std::int64_t>(out.size());
      out.clear();
    }
    const int number = n % 99999 + 1;
    const int speaker = static_cast<int>(rng() % 8);
    std::snprintf(buf, sizeof buf, "%05d/%05d %s%05d  %-16s ", number, 99999, "ABC",
                  10000 + speaker * 7, speakers[speaker]);
    out += buf;
    out += Utf8ToSjis("自作パソコンの話題 その") + std::to_string(number % 500) + "\r\n";
    int commentTo = 0;
    if (n > 0 && rng() % 5 >= 2) {
      int back = static_cast<int>(rng() % static_cast<unsigned>(std::min(n, 40))) + 1;
      commentTo = (n - back) % 99999 + 1;
    }
    std::snprintf(buf, sizeof buf, "     96/%02d/%02d  %02d:%02d   ", 1 + (n / 3000) % 12,
                  1 + (n / 100) % 28, 18 + static_cast<int>(rng() % 6), static_cast<int>(rng() % 60));
    out += buf;
    if (commentTo) {
      std::snprintf(buf, sizeof buf, "%05d", commentTo);
      out += std::string(buf) + Utf8ToSjis(" へのコメント");
    }
    out += "\r\n";
    const int lines = 5 + static_cast<int>(rng() % 15);  // about 650 bytes a remark, 1.64 million in a GiB
    // Two remarks in three end a line with （笑）, as chat in a forum does.
    const int laughAt = laughs() % 100 < 65 ? static_cast<int>(laughs() % static_cast<unsigned>(lines)) : -1;
    for (int l = 0; l < lines; ++l) {
      const int pieces = 1 + static_cast<int>(rng() % 5);
      for (int p = 0; p < pieces; ++p) out += words[rng() % std::size(words)];
      if (l == laughAt) out += laugh;
      out += "\r\n";
    }
    ++n;
  }
  if (remarks) *remarks = n;
  if (sink) {
    sink->write(out.data(), static_cast<std::streamsize>(out.size()));
    flushed += static_cast<std::int64_t>(out.size());
    out.clear();
  }
  return flushed + static_cast<std::int64_t>(out.size());
}

}  // namespace

std::string GenerateLog(std::int64_t targetBytes, unsigned seed, std::int32_t* remarks) {
  std::string out;
  Generate(targetBytes, seed, remarks, out, nullptr);
  return out;
}

GeneratedLog WriteLog(const std::filesystem::path& path, std::int64_t targetBytes, unsigned seed) {
  GeneratedLog log;
  log.path = path;
  std::ofstream f(path, std::ios::binary);
  std::string buffer;
  log.bytes = Generate(targetBytes, seed, &log.remarks, buffer, &f);
  return log;
}

GeneratedLog WriteShape(const std::filesystem::path& path, Shape shape, std::int32_t remarks) {
  // Short remarks; numbers wrap after 99999 as five columns allow.
  GeneratedLog log;
  log.path = path;
  log.remarks = remarks;
  std::ofstream f(path, std::ios::binary);
  std::string out = "SHAPE\r\n\r\n";
  char buf[160];
  for (std::int32_t i = 0; i < remarks; ++i) {
    const int number = i % 99999 + 1;
    int commentTo = 0;
    if (i > 0) commentTo = shape == Shape::Fan ? 1 : (i - 1) % 99999 + 1;
    std::snprintf(buf, sizeof buf, "%05d/99999 ABC%05d  %-16s Re: shape %d\r\n     96/03/01  21:00   ", number,
                  i % 1000, "poster", number);
    out += buf;
    if (commentTo) {
      std::snprintf(buf, sizeof buf, "%05d comment", commentTo);
      out += buf;
    }
    out += "\r\nbody line\r\n";
    if (out.size() > (8u << 20)) {
      f.write(out.data(), static_cast<std::streamsize>(out.size()));
      log.bytes += static_cast<std::int64_t>(out.size());
      out.clear();
    }
  }
  f.write(out.data(), static_cast<std::streamsize>(out.size()));
  log.bytes += static_cast<std::int64_t>(out.size());
  return log;
}

GeneratedLog MakeLog(std::int64_t targetBytes, unsigned seed) {
  GeneratedLog log;
  log.path = std::filesystem::temp_directory_path() /
             ("kest-bench-" + std::to_string(targetBytes) + "-" + std::to_string(seed) + ".log");
  std::error_code ec;
  std::string bytes = GenerateLog(targetBytes, seed, &log.remarks);
  if (std::filesystem::file_size(log.path, ec) != bytes.size()) {
    std::ofstream(log.path, std::ios::binary) << bytes;
  }
  log.bytes = static_cast<std::int64_t>(bytes.size());
  return log;
}

}  // namespace kest::bench
