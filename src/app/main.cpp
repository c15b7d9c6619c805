// kest32: the viewer's window, or with a batch option the same log core
// printing to standard output.
#include <iostream>

#include "app/Batch.h"

#ifdef KEST_WITH_UI
#include "ui/RunWindow.h"
#endif

int main(int argc, char** argv) {
  if (kest::IsBatchInvocation(argc, argv)) return kest::RunBatch(argc, argv, std::cout, std::cerr);
#ifdef KEST_WITH_UI
  return kest::RunWindow(argc, argv);
#else
  std::cerr << "kest32: this build has no window; see kest32 --help\n";
  return 2;
#endif
}
