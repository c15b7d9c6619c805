#include "library/FtsTokenizer.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "library/Bigrams.h"
#include "library/Sqlite.h"

namespace kest {
namespace {

// More pairs than this narrow the candidates no further in practice; a long
// key (the find dialog takes 255 bytes) asks for some of its pairs, spread
// over it. Any subset of the pairs still finds every remark that holds all.
constexpr std::size_t kMostPairs = 24;

using TokenSink = int (*)(void*, int, const char*, int, int, int);

struct Tokenizer {
  BigramTokens tokens;
};

int Create(void*, const char**, int, Fts5Tokenizer** out) {
  *out = reinterpret_cast<Fts5Tokenizer*>(new (std::nothrow) Tokenizer);
  return *out ? SQLITE_OK : SQLITE_NOMEM;
}

void Delete(Fts5Tokenizer* t) { delete reinterpret_cast<Tokenizer*>(t); }

int Tokenize(Fts5Tokenizer* t, void* ctx, int flags, const char* text, int length, TokenSink sink) {
  const std::string_view s(text, static_cast<std::size_t>(std::max(length, 0)));
  try {
    if (flags & FTS5_TOKENIZE_QUERY) {
      // A string of a query is one pair, or one character alone.
      std::vector<std::string> tokens = BigramTokens::OfLine(s);
      if (tokens.size() > 1) tokens.pop_back();  // the last character alone belongs to a line's end
      for (const std::string& tok : tokens) {
        if (int rc = sink(ctx, 0, tok.data(), static_cast<int>(tok.size()), 0, length)) return rc;
      }
      return SQLITE_OK;
    }
    for (const std::string& tok : reinterpret_cast<Tokenizer*>(t)->tokens.Distinct(s)) {
      if (int rc = sink(ctx, 0, tok.data(), static_cast<int>(tok.size()), 0, length)) return rc;
    }
  } catch (const std::bad_alloc&) {
    return SQLITE_NOMEM;
  }
  return SQLITE_OK;
}

// FTS5 string literal: the bytes between double quotes, a quote doubled.
void AppendQuoted(std::string_view s, std::string& out) {
  out.push_back('"');
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace

void RegisterTokenizer(SqlDb& db) {
  fts5_api* api = nullptr;
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(db.Handle(), "SELECT fts5(?1)", -1, &st, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    rc = sqlite3_step(st);
    rc = rc == SQLITE_ROW ? SQLITE_OK : rc;
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_OK) db.Fail(rc);
  if (!api) throw LibraryError("この SQLite には全文検索 (FTS5) がありません");
  static fts5_tokenizer tokenizer{Create, Delete, Tokenize};
  rc = api->xCreateTokenizer(api, kTokenizerName, nullptr, &tokenizer, nullptr);
  if (rc != SQLITE_OK) db.Fail(rc);
}

std::optional<std::string> MatchExpression(std::string_view key) {
  // The expression is read as a C string: a NUL byte would end it, so a
  // character that is one takes no part (the check still compares it).
  std::vector<std::string_view> chars = SplitChars(key);
  if (chars.size() == 1) {
    if (chars[0] == std::string_view("\0", 1)) return std::nullopt;
    std::string expr;
    AppendQuoted(chars[0], expr);
    expr += " *";
    return expr;
  }
  std::vector<std::string> pairs;
  for (std::size_t i = 0; i + 1 < chars.size(); ++i) {
    if (chars[i].find('\0') != std::string_view::npos || chars[i + 1].find('\0') != std::string_view::npos)
      continue;
    std::string pair(chars[i]);
    pair.append(chars[i + 1]);
    if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end()) pairs.push_back(std::move(pair));
  }
  if (pairs.empty()) return std::nullopt;
  std::string expr;
  const std::size_t n = std::min(pairs.size(), kMostPairs);
  for (std::size_t k = 0; k < n; ++k) {
    if (k > 0) expr += " AND ";
    // Spread over the key: the first and the last pair are always taken.
    const std::size_t i = n == 1 ? 0 : k * (pairs.size() - 1) / (n - 1);
    AppendQuoted(pairs[i], expr);
  }
  return expr;
}

}  // namespace kest
