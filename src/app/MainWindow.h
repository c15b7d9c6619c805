// The main window put together: the shell with its features (the searches and
// the bookmarks), each of which adds its menu entries and dialogs through the
// window's host interface, then started on the command line's log.
#pragma once

#include <QStringList>
#include <memory>

namespace kest {

class TKestForm;

// `args`: the command-line arguments after the program's name; the first,
// when it names a file, is opened.
std::unique_ptr<TKestForm> CreateMainWindow(const QStringList& args = {});

}  // namespace kest
