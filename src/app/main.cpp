// kest32: the viewer's window, or with a batch option the same log core
// printing to standard output.
#include <iostream>

#include "app/Batch.h"

#ifdef KEST_WITH_UI
#include "app/WindowLoader.h"
#endif

int main(int argc, char** argv) {
  if (kest::IsBatchInvocation(argc, argv)) {
    // Only the streams write to the standard output: they need not keep in
    // step with C stdio, and the batch side's large blocks go out in one
    // write each.
    std::ios::sync_with_stdio(false);
    return kest::RunBatch(argc, argv, std::cout, std::cerr);
  }
#ifdef KEST_WITH_UI
  return kest::RunWindowModule(argc, argv);
#else
  std::cerr << "kest32: this build has no window; see kest32 --help\n";
  return 2;
#endif
}
