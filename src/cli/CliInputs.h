#pragma once
// The inputs of the command line checked before the run: the Access file,
// the SQLite file, the password file, and whether two paths name one file.

#include "CliHost.h"

#include <QString>
#include <optional>

namespace qb::cli {

void printError(const QString& text);

// Names the SQLite file and why the run's test refuses it.
void refuseTarget(const QString& path);

// Opens the inputs once before the run, so that a file that cannot be read
// is named with its reason and ends the program before anything is written.
// `created` tells whether the SQLite file was made here.
bool checkInputs(const Options& options, bool& created);

// True when both paths name one file, existing or still to be made.
bool sameFile(const QString& a, const QString& b);

// The first line of a file, or of standard input for "-", without its line
// break.
std::optional<QString> readPasswordFile(const QString& name);

}  // namespace qb::cli
