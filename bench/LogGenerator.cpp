#include "LogGenerator.h"

#include <cstdio>
#include <fstream>
#include <random>

#include "platform/Codec.h"

namespace kest::bench {

std::string GenerateLog(std::int64_t targetBytes, unsigned seed, std::int32_t* remarks) {
  std::mt19937 rng(seed);
  const std::string title = Utf8ToSjis("ＦＢＥＮＣＨ　ベンチマーク用会議室　ログ");
  const std::string words[] = {Utf8ToSjis("こんばんは。"), Utf8ToSjis("自作パソコンの話です。"),
                               Utf8ToSjis("ＣＰＵを交換しました。"), Utf8ToSjis("ﾒﾓﾘが足りません。"),
                               "Pentium 133MHz ", "EDO-RAM 32MB ", Utf8ToSjis("ありがとうございました。"),
                               Utf8ToSjis("ところで、"), "> ", Utf8ToSjis("ではでは。")};
  const char* speakers[] = {"SAKURA", "TARO", "HANAKO", "KEN", "MIDORI", "JIRO", "YUKI", "SORA"};
  std::string out = title + "\r\n\r\n";
  out.reserve(static_cast<std::size_t>(targetBytes) + 4096);
  std::int32_t n = 0;
  char buf[256];
  while (static_cast<std::int64_t>(out.size()) < targetBytes) {
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
    const int lines = 3 + static_cast<int>(rng() % 10);
    for (int l = 0; l < lines; ++l) {
      const int pieces = 1 + static_cast<int>(rng() % 5);
      for (int p = 0; p < pieces; ++p) out += words[rng() % std::size(words)];
      out += "\r\n";
    }
    ++n;
  }
  if (remarks) *remarks = n;
  return out;
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
