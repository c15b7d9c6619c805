#include "app/MainWindow.h"

#include "bookmarks/BookCommands.h"
#include "export/ExportCommands.h"
#include "search/SearchCommands.h"
#include "ui/Kest2.h"

namespace kest {

std::unique_ptr<TKestForm> CreateMainWindow(const QStringList& args) {
  auto window = std::make_unique<TKestForm>();
  // The features belong to the window and go with it.
  new TSearchCommands(*window, window.get());
  new TBookCommands(*window, window.get());
  new TExportCommands(*window, window.get());
  window->Start(args);
  return window;
}

}  // namespace kest
