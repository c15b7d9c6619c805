// The library's tokenizer in SQLite's full-text index (FTS5), registered
// through fts5_api under the name "kest", and the queries it answers.
//
// A remark's text goes in as its lines joined by CR; the tokenizer gives
// each distinct token of the remark once (library/Bigrams.h): the index
// keeps which remarks hold a token, not where, so a remark costs one entry
// per distinct token. A key is looked up by its tokens: a key of one
// character as a prefix (every pair that starts with it, and the character
// alone at a line's end), a longer key as all its pairs. The remarks found so
// are those that can hold the key; each is then checked against the key by
// the rule of the one-log search, which alone decides.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kest {

class SqlDb;

// The name the tokenizer is registered under.
inline constexpr const char* kTokenizerName = "kest";

// Registers the tokenizer on the connection (each connection needs it
// before it touches the index). Throws LibraryError.
void RegisterTokenizer(SqlDb& db);

// The FTS5 query for the remarks that can hold `key` (Shift-JIS bytes as the
// remark test compares them). Nothing when the index cannot narrow the search
// (an empty key, or one whose characters are all NUL bytes): every remark is
// a candidate then.
std::optional<std::string> MatchExpression(std::string_view key);

}  // namespace kest
