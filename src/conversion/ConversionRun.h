#pragma once
// Folder src/conversion: the conversion run, column types, row rendering,
// the statement and datatype lists and the fast mode's writer. No widgets;
// it may use src/dbaccess and src/core.
//
// The work behind "Start Converting": every user table of the Access file,
// last to first, into the SQLite file — executed at once, or collected for
// the SQL Preview window per table or per file.

#include "ConversionHost.h"

#include <map>

namespace qb {

// True when the list holds the name, compared without regard to case.
bool ListContains(const QStringList& list, const QString& name);

class ConversionRun {
public:
    ConversionRun(ConversionHost& host, RunState& state) : host_(host), state_(state) {}
    // One press of the button. Every failure is reported through the error
    // report with its statement number, and the run goes on to its end.
    void run();

private:
    ConversionHost& host_;
    RunState& state_;
    // The first reading of a damaged file: its overwrite answers, so that
    // reading it again replaces what it wrote instead of asking anew.
    std::map<QString, MsgResult> firstAnswers_;
};

}  // namespace qb
