#pragma once
// Folder src/cli: the command-line program beside the window program:
// options, terminal progress and the summary. It may use src/conversion,
// src/dbaccess and src/core, never the window folders.
//
// The command-line converter: the same conversion run as the main window,
// driven by options instead of controls.

#include <QStringList>

namespace qb::cli {

// Runs the converter with the given arguments (without the program name)
// and returns the exit code: 0 every statement succeeded, 1 some failed,
// 2 usage error or unreadable input.
int runConverter(const QStringList& arguments);

// Gives a closed standard stream /dev/null, so that no file the program
// opens takes its place; false, with a message, when standard output was
// closed: the summary has nowhere to go. Called before anything else.
bool holdStandardStreams();

}  // namespace qb::cli
