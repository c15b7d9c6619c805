// Finds and loads the window module beside the program (in the build folder)
// or where it is installed, and runs the window from it.
#pragma once

namespace kest {

// Runs the window; without a module that loads, says so on standard error
// and gives 1.
int RunWindowModule(int argc, char** argv);

}  // namespace kest
