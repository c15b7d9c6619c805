// The date of a remark as the library keeps it: a day number, so that dates
// of every log sort and compare alike, whatever the service wrote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kest {

// Days since 1970-01-01 (negative before).
using Day = std::int32_t;

// The day of a remark's date field ("96/03/01", "1996/03/01"; '/', '-' or
// '.' between the parts). Two-digit years 70-99 are 19xx, 00-69 20xx.
// Nothing when the field holds no valid date.
std::optional<Day> ParseRemarkDate(std::string_view date);

// "YYYY-MM-DD" (as --from and --to take it) to a day; nothing when invalid.
std::optional<Day> ParseIsoDate(std::string_view date);

// A day as "YYYY-MM-DD".
std::string FormatDay(Day day);

}  // namespace kest
