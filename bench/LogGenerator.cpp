#include "LogGenerator.h"

#include <algorithm>
#include <cstdint>
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

// ---------------------------------------------------------------------------
// The library's logs.

namespace kest::bench {
namespace {

// A fast generator for the text; the logs must come out alike on every run.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  std::uint64_t Next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  int Below(int n) { return static_cast<int>((Next() >> 33) % static_cast<std::uint64_t>(n)); }
  bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }

 private:
  std::uint64_t s_;
};

std::string Two(unsigned code) { return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}; }

// Picks ranks 0..n-1 with weight 1 / (rank + 2): a table of 2^20 slots in
// which every rank has its share, and at least one slot.
class Zipf {
 public:
  explicit Zipf(int n) {
    std::vector<double> w(static_cast<std::size_t>(n));
    double sum = 0;
    for (int r = 0; r < n; ++r) sum += w[static_cast<std::size_t>(r)] = 1.0 / (r + 2);
    const double slots = static_cast<double>(kSlots - static_cast<std::size_t>(n));
    for (int r = 0; r < n; ++r) {
      const std::size_t share = 1 + static_cast<std::size_t>(w[static_cast<std::size_t>(r)] / sum * slots);
      table_.insert(table_.end(), share, static_cast<std::uint16_t>(r));
    }
    while (table_.size() < kSlots) table_.push_back(static_cast<std::uint16_t>(n - 1));
    table_.resize(kSlots);
  }
  int Pick(Rng& rng) const { return table_[rng.Next() >> 46]; }

 private:
  static constexpr std::size_t kSlots = std::size_t{1} << 18;
  std::vector<std::uint16_t> table_;
};

// The words of the language, the same for every log.
class Vocabulary {
 public:
  Vocabulary() : zipf_(kWords) {
    Rng rng(20240501);
    std::vector<unsigned> kanji;  // JIS level 1: 0x889F-0x9872
    for (unsigned lead = 0x88; lead <= 0x98; ++lead) {
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F || (lead == 0x88 && trail < 0x9F) || (lead == 0x98 && trail > 0x72)) continue;
        kanji.push_back(lead << 8 | trail);
      }
    }
    auto pick = [&](unsigned first, unsigned last, int len, std::string& w) {
      for (int i = 0; i < len; ++i) {
        unsigned c = first + static_cast<unsigned>(rng.Below(static_cast<int>(last - first + 1)));
        if (c == 0x837F) c = 0x8380;
        w += Two(c);
      }
    };
    for (int i = 0; i < kWords; ++i) {
      std::string w;
      const int kind = rng.Below(100);
      if (kind < 45) {  // kanji compounds, mostly of two
        const int len = rng.Chance(0.25) ? 1 : rng.Chance(0.8) ? 2 : 3;
        for (int k = 0; k < len; ++k)
          w += Two(kanji[static_cast<std::size_t>(rng.Below(static_cast<int>(kanji.size())))]);
      } else if (kind < 53) {  // a verb or adjective: kanji and kana after it
        w += Two(kanji[static_cast<std::size_t>(rng.Below(static_cast<int>(kanji.size())))]);
        pick(0x82A0, 0x82F1, 1 + rng.Below(2), w);
      } else if (kind < 71) {
        pick(0x8340, 0x8393, 2 + rng.Below(5), w);  // katakana
      } else if (kind < 83) {
        pick(0x829F, 0x82F1, 2 + rng.Below(3), w);  // hiragana
      } else if (kind < 93) {                       // ASCII: words, model names, numbers
        const int len = 2 + rng.Below(8);
        for (int k = 0; k < len; ++k) {
          const int c = rng.Below(36);
          const bool upper = k == 0 ? rng.Chance(0.4) : rng.Chance(0.15);
          w.push_back(static_cast<char>(c < 26 ? (upper ? 'A' : 'a') + c : '0' + c - 26));
        }
      } else if (kind < 97) {  // full-width letters and digits
        const int len = 2 + rng.Below(4);
        for (int k = 0; k < len; ++k)
          w += Two(rng.Chance(0.7) ? 0x8260 + static_cast<unsigned>(rng.Below(26))
                                   : 0x824F + static_cast<unsigned>(rng.Below(10)));
      } else {  // half-width kana
        const int len = 3 + rng.Below(4);
        for (int k = 0; k < len; ++k) w.push_back(static_cast<char>(0xB1 + rng.Below(0xDD - 0xB1 + 1)));
      }
      words_.push_back(std::move(w));
    }
    for (const char* p : {"の", "は", "が", "を", "に", "で", "と", "も", "へ", "から", "まで", "より", "や",
                          "という", "などの", "って", "には", "では", "とか"}) {
      particles_.push_back(Utf8ToSjis(p));
    }
    for (const char* e : {"です。", "ます。", "。", "でした。", "ました。", "ですね。", "ですが、", "けど、",
                          "ので、", "！", "？", "と思います。", "(^^;", "（笑）", "でしょうか？", "、"}) {
      endings_.push_back(Utf8ToSjis(e));
    }
  }

  const std::string& Word(Rng& rng) const { return words_[static_cast<std::size_t>(zipf_.Pick(rng))]; }
  const std::string& Particle(Rng& rng) const {
    return particles_[static_cast<std::size_t>(rng.Below(static_cast<int>(particles_.size())))];
  }
  const std::string& Ending(Rng& rng) const {
    return endings_[static_cast<std::size_t>(rng.Below(static_cast<int>(endings_.size())))];
  }
  const std::string& Rank(int r) const { return words_[static_cast<std::size_t>(r)]; }

 private:
  static constexpr int kWords = 30000;
  Zipf zipf_;
  std::vector<std::string> words_, particles_, endings_;
};

const Vocabulary& Words() {
  static const Vocabulary v;
  return v;
}

// A sentence of two to nine words.
void Sentence(Rng& rng, std::string& out, bool rare) {
  const Vocabulary& v = Words();
  const int n = 2 + rng.Below(8);
  const int rareAt = rare ? rng.Below(n) : -1;
  for (int i = 0; i < n; ++i) {
    out += i == rareAt ? RareWord() : v.Word(rng);
    if (rng.Chance(0.7)) out += v.Particle(rng);
  }
  out += v.Ending(rng);
}

// `text` cut into lines of at most `width` bytes, never inside a character.
void Wrap(const std::string& text, std::size_t width, std::string& out) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size()) {
      const std::size_t n = IsSjisLead(static_cast<unsigned char>(text[end])) ? 2 : 1;
      if (end + n - start > width) break;
      end += n;
    }
    out.append(text, start, end - start);
    out += "\r\n";
    start = end;
  }
}

// A field of `width` bytes: `s` cut at a character boundary, blanks after it.
std::string Field(const std::string& s, std::size_t width) {
  std::size_t end = 0;
  while (end < s.size()) {
    const std::size_t n = IsSjisLead(static_cast<unsigned char>(s[end])) ? 2 : 1;
    if (end + n > width) break;
    end += n;
  }
  std::string f = s.substr(0, end);
  f.resize(width, ' ');
  return f;
}

struct Poster {
  std::string id, name;
};

// Days since 1988-01-01 as yy/mm/dd.
std::string DateText(int day) {
  static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int year = 1988;
  for (;;) {
    const int days = (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 366 : 365;
    if (day < days) break;
    day -= days;
    ++year;
  }
  int month = 0;
  for (;; ++month) {
    const int len = lengths[month] + (month == 1 && year % 4 == 0 && (year % 100 != 0 || year % 400 == 0));
    if (day < len) break;
    day -= len;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", year % 100, month + 1, day + 1);
  return buf;
}

}  // namespace

std::string RareWord() { return "\xE5\x9E\xE5\x95"; }  // 蝙蝠

GeneratedLog WriteForumLog(const std::filesystem::path& path, std::int64_t targetBytes, unsigned seed,
                           int forum, int firstDay) {
  const Vocabulary& v = Words();
  Rng rng(seed * 7919u + static_cast<unsigned>(forum));
  // The forum's regulars: a few hundred posters, some far busier than others.
  Rng forumRng(static_cast<std::uint64_t>(forum) + 1000);
  std::vector<Poster> posters;
  for (int i = 0; i < 300; ++i) {
    char id[16];
    std::snprintf(id, sizeof id, "%c%c%c%05d", 'A' + forumRng.Below(26), 'A' + forumRng.Below(26),
                  'A' + forumRng.Below(26), forumRng.Below(100000));
    std::string name = v.Rank(500 + forumRng.Below(20000));
    if (forumRng.Chance(0.3)) name += Utf8ToSjis("＠") + v.Rank(1000 + forumRng.Below(5000));
    posters.push_back({id, name});
  }
  const Zipf posterZipf(static_cast<int>(posters.size()));
  std::vector<std::string> threads;  // titles of the threads running

  std::ofstream f(path, std::ios::binary);
  std::string out;
  char buf[128];
  std::snprintf(buf, sizeof buf, "%02d", forum + 1);
  out += Utf8ToSjis("ＦＬＩＢ") + buf + Utf8ToSjis("　") + v.Rank(100 + forum) + v.Rank(200 + forum) +
         Utf8ToSjis("フォーラム　会議室") + std::to_string(1 + forum % 9) + Utf8ToSjis("　ログ（") +
         DateText(firstDay) + Utf8ToSjis("～）") + "\r\n\r\n";
  GeneratedLog log;
  log.path = path;
  std::int64_t written = 0;
  std::string para;
  const double perDay = 2 + rng.Below(12);  // remarks a day in this room
  for (int n = 0; written + static_cast<std::int64_t>(out.size()) < targetBytes; ++n) {
    const int number = n % 99999 + 1;
    const Poster& p = posters[static_cast<std::size_t>(posterZipf.Pick(rng))];
    int commentTo = 0;
    std::string title;
    if (n > 0 && !threads.empty() && rng.Chance(0.6)) {
      const int back = 1 + rng.Below(std::min(n, 30));
      commentTo = (n - back) % 99999 + 1;
      title = "Re:" + threads[static_cast<std::size_t>(rng.Below(static_cast<int>(threads.size())))];
    } else {
      title = v.Word(rng) + v.Particle(rng) + v.Word(rng);
      threads.push_back(title);
      if (threads.size() > 20) threads.erase(threads.begin());
    }
    std::snprintf(buf, sizeof buf, "%05d/%05d ", number, 99999);
    out += buf;
    out += Field(p.id, 8) + "  " + Field(p.name, 16) + " " + Field(title, 70);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += "\r\n";
    const int day = firstDay + static_cast<int>(n / perDay);
    std::snprintf(buf, sizeof buf, "     %s  %02d:%02d   ", DateText(day).c_str(), rng.Below(24),
                  rng.Below(60));
    out += buf;
    if (commentTo) {
      std::snprintf(buf, sizeof buf, "%05d", commentTo);
      out += buf;
      out += KEST_SJIS(" へのコメント");
    }
    out += "\r\n";
    const int paragraphs = 1 + rng.Below(4);
    const int rareIn = rng.Below(2000) == 0 ? rng.Below(paragraphs) : -1;
    if (rng.Chance(0.5)) {
      out += KEST_SJIS("こんばんは、");
      out += p.name;
      out += KEST_SJIS("です。\r\n");
    }
    for (int k = 0; k < paragraphs; ++k) {
      if (rng.Chance(0.3)) {
        para = "> ";
        Sentence(rng, para, false);
        Wrap(para, 60, out);
      }
      para.clear();
      const int sentences = 1 + rng.Below(5);
      for (int s = 0; s < sentences; ++s) Sentence(rng, para, k == rareIn && s == 0);
      Wrap(para, 38 + 2 * rng.Below(20), out);
      out += "\r\n";
    }
    if (rng.Chance(0.3))
      out += "----------------------------------------\r\n  " + p.name + "  " + p.id + "\r\n";
    if (out.size() > (8u << 20)) {
      f.write(out.data(), static_cast<std::streamsize>(out.size()));
      written += static_cast<std::int64_t>(out.size());
      out.clear();
    }
    log.remarks = n + 1;
  }
  f.write(out.data(), static_cast<std::streamsize>(out.size()));
  log.bytes = written + static_cast<std::int64_t>(out.size());
  return log;
}

GeneratedLibrary WriteLibrary(const std::filesystem::path& dir, std::int64_t totalBytes, int logs,
                              unsigned seed) {
  constexpr int kForums = 30;
  Rng rng(seed);
  // Sizes vary about fivefold around the mean.
  std::vector<double> weights;
  double sum = 0;
  for (int i = 0; i < logs; ++i)
    sum += weights.emplace_back(0.4 + 1.6 * static_cast<double>(rng.Below(1000)) / 1000.0);
  GeneratedLibrary lib;
  for (int i = 0; i < logs; ++i) {
    const int forum = i % kForums;
    const int period = i / kForums;
    const int periods = (logs + kForums - 1) / kForums;
    char name[64];
    std::snprintf(name, sizeof name, "forum%02d", forum + 1);
    const std::filesystem::path folder = dir / name;
    std::filesystem::create_directories(folder);
    std::snprintf(name, sizeof name, "room%d-%03d.log", 1 + forum % 9, period + 1);
    // The periods of a forum follow one another from 1988 to 2005.
    const int firstDay = (6500 * period) / std::max(periods, 1) + forum * 7;
    const auto bytes = static_cast<std::int64_t>(static_cast<double>(totalBytes) *
                                                 weights[static_cast<std::size_t>(i)] / sum);
    GeneratedLog log = WriteForumLog(folder / name, bytes, seed + static_cast<unsigned>(i), forum, firstDay);
    lib.bytes += log.bytes;
    lib.remarks += log.remarks;
    lib.logs.push_back(std::move(log));
  }
  return lib;
}

}  // namespace kest::bench
