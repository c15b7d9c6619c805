// The window side as a module of its own, loaded by kest32 only when a window
// is wanted: the batch side never loads the toolkit's libraries, which take
// longer to load than a small log takes to list.
#include "app/RunWindow.h"

extern "C" __attribute__((visibility("default"))) int kest32_window_main(int argc, char** argv) {
  return kest::RunWindow(argc, argv);
}
