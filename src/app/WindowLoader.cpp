#include "app/WindowLoader.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace kest {
namespace {

constexpr const char* kModuleName = "kest32-window.so";
constexpr const char* kEntry = "kest32_window_main";

// Where the module is looked for, in turn, for a program at `program`.
std::vector<std::filesystem::path> WindowModuleCandidates(const std::filesystem::path& program) {
  const std::filesystem::path dir = program.parent_path();
  std::vector<std::filesystem::path> found{dir / kModuleName};
#ifdef KEST_WINDOW_MODULE_DIR
  // The install's module folder, relative to its program folder.
  found.push_back((dir / KEST_WINDOW_MODULE_DIR / kModuleName).lexically_normal());
#endif
  return found;
}

}  // namespace

int RunWindowModule(int argc, char** argv) {
  std::error_code ec;
  std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) program = std::filesystem::absolute(argv[0], ec);
  std::string tried;
  for (const std::filesystem::path& module : WindowModuleCandidates(program)) {
    if (!std::filesystem::exists(module, ec)) {
      tried += "\n  " + module.string();
      continue;
    }
    // Its own copy of everything it needs: nothing of it is shared with
    // this program's symbols.
    void* handle = ::dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "kest32: ウィンドウの部品を読み込めません: %s\n", ::dlerror());
      return 1;
    }
    using Entry = int (*)(int, char**);
    auto entry = reinterpret_cast<Entry>(::dlsym(handle, kEntry));
    if (!entry) {
      std::fprintf(stderr, "kest32: ウィンドウの部品が壊れています: %s\n", module.c_str());
      return 1;
    }
    return entry(argc, argv);
  }
  std::fprintf(stderr, "kest32: ウィンドウの部品 (%s) が見つかりません:%s\n", kModuleName, tried.c_str());
  return 1;
}

}  // namespace kest
