#include "library/RemarkDate.h"

#include <cstdio>

namespace kest {
namespace {

bool Leap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return kDays[m - 1] + (m == 2 && Leap(y) ? 1 : 0);
}

// Days from 1970-01-01 to y-m-d (the proleptic Gregorian calendar).
Day DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

std::optional<Day> Valid(int y, int m, int d) {
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return std::nullopt;
  return DaysFromCivil(y, m, d);
}

// Reads the digits at `s[i]` on; the count of digits read in *n.
int Digits(std::string_view s, std::size_t& i, int* n) {
  int v = 0;
  *n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9' && *n < 4) {
    v = v * 10 + (s[i] - '0');
    ++i;
    ++*n;
  }
  return v;
}

bool Separator(char c) { return c == '/' || c == '-' || c == '.'; }

}  // namespace

std::optional<Day> ParseRemarkDate(std::string_view s) {
  std::size_t i = 0;
  int ny, nm, nd;
  int y = Digits(s, i, &ny);
  if ((ny != 2 && ny != 4) || i >= s.size() || !Separator(s[i])) return std::nullopt;
  const char sep = s[i++];
  const int m = Digits(s, i, &nm);
  if (nm < 1 || nm > 2 || i >= s.size() || s[i] != sep) return std::nullopt;
  ++i;
  const int d = Digits(s, i, &nd);
  if (nd < 1 || nd > 2 || i != s.size()) return std::nullopt;
  if (ny == 2) y += y >= 70 ? 1900 : 2000;
  return Valid(y, m, d);
}

std::optional<Day> ParseIsoDate(std::string_view s) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return std::nullopt;
  std::size_t i = 0;
  int ny, nm, nd;
  const int y = Digits(s, i, &ny);
  ++i;
  const int m = Digits(s, i, &nm);
  ++i;
  const int d = Digits(s, i, &nd);
  if (ny != 4 || nm != 2 || nd != 2) return std::nullopt;
  return Valid(y, m, d);
}

std::string FormatDay(Day day) {
  // The inverse of DaysFromCivil.
  const int z = day + 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  const int d = doy - (153 * mp + 2) / 5 + 1;
  const int m = mp < 10 ? mp + 3 : mp - 9;
  const int y = yoe + era * 400 + (m <= 2);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

}  // namespace kest
