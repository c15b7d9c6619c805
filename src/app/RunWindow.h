// Starts the application with its main window (the program entry's window side).
#pragma once

namespace kest {
int RunWindow(int argc, char** argv);
}
