// Runs the built kest32 as a user would, through the shell, and gives its
// exit status, standard output and standard error.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kest::test {

struct Result {
  int status;
  std::string out;
  std::string err;
};

// `args` as they stand on the command line; Kest.INI is `ini`, the cache of
// converted logs and the captured stderr live in `dir`. With `seconds`, a
// run that has not ended by then is killed (status 124 or 137). `env`
// ("NAME='value' ...") sets more of the environment.
inline Result RunKest32(const std::filesystem::path& dir, const std::filesystem::path& ini,
                        const std::string& args, int seconds = 0, const std::string& env = "") {
  const std::string errFile = (dir / "stderr.txt").string();
  const std::string limit = seconds > 0 ? "timeout -k 2 " + std::to_string(seconds) + " " : "";
  const std::string cmd = env + " KEST_INI='" + ini.string() + "' XDG_CACHE_HOME='" + (dir / "cache").string() +
                          "' " + limit + "'" KEST32_BINARY "' " + args + " 2>'" + errFile + "'";
  Result r;
  FILE* p = ::popen(cmd.c_str(), "r");
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  const int status = ::pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream e(errFile, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  return r;
}

}  // namespace kest::test
