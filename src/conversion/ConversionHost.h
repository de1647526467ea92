#pragma once
// What the conversion run needs from its surroundings. The main window, the
// command-line converter and scripted tests each implement it, so the same
// run drives all three.

#include "RunState.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SourceFields.h"
#include "core/Interaction.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb {

class ListViewModel;

// Additions to the statements, from the command line or the window's
// Options; with none of them every statement is what the window has always
// executed.
struct ConversionOptions {
    bool keys = false;         // primary keys, NOT NULL, foreign keys and indexes
    bool childTables = false;  // attachment and multi-value entries as tables of their own
    bool blobs = false;        // OLE Object fields as BLOB columns instead of left out
    bool isoDates = false;     // dates as ISO 8601 text whatever the regional settings
    bool views = false;        // saved queries as views, Yes/No as -1/0
    bool any() const { return keys || childTables || blobs || isoDates || views; }
};

struct QueryViewsResult;

class ConversionHost {
public:
    virtual ~ConversionHost() = default;

    virtual Interaction& ui() = 0;
    virtual ConversionOptions options() const { return {}; }

    // The main window's fields and options, read at the moment each
    // decision needs them: the user may change them while the run yields.
    virtual SourceFields fields() = 0;
    virtual bool previewEnabled() = 0;  // Check1 ticked
    virtual bool perFile() = 0;         // Option1 selected
    virtual bool perTable() = 0;        // Option2 selected

    virtual void setProgressValue(double percent) = 0;
    // The row of the current table about to be rendered (1-based) and the
    // table's row count; for hosts that show counts rather than a bar.
    virtual void rowProgress(long long /*row*/, long long /*total*/) {}
    // At most this many rows per table; negative for all of them.
    virtual long long rowLimit() const { return -1; }
    virtual void setProgressText(const QString& text) = 0;
    virtual void setBusy(bool busy) = 0;

    // The working lists: tables of the SQLite file, tables of the Access file.
    virtual QStringList& List1() = 0;
    virtual QStringList& List2() = 0;

    // The statement list of the SQL Preview window and the datatype list of
    // the Datatypes Conversion window (touching them loads the window).
    virtual ListViewModel& statementList() = 0;
    virtual ListViewModel& datatypeList() = 0;

    // Shows the SQL Preview window modally; returns when it has closed.
    virtual void showPreview() = 0;

    // The run's test of the SQLite file at `path` failed. A host with a user
    // to talk to says which file and why, and may create a missing one: true
    // when the file passes the test now and the run goes on. The default
    // ends the run without a word.
    virtual bool targetRefused(const QString& /*path*/) { return false; }
    // Whether "Done." goes on with an account of each table that did not
    // arrive whole.
    virtual bool accountsAtDone() const { return false; }
    // Whether a run that found the Access file damaged may ask to convert it
    // again reading what can still be read; such a host's fields() ask for
    // salvaging while the state's `salvaging` is set.
    virtual bool offersSalvage() const { return false; }

    // Executes one statement on the run's SQLite connection. The default
    // is the connection's Execute; the command-line fast mode replaces it
    // with a prepared INSERT bound to the row's value texts (`values`, one
    // per column, no value for NULL), which it gets when it asks for them
    // and may move from: the run refills them for every row. A host that
    // asks for the values gets only the head of each INSERT
    // (`INSERT INTO "t" VALUES('`): the literals are not written for it.
    // Index: a CREATE INDEX after a table's rows, outside their transaction.
    enum class StatementKind { Drop, Create, Insert, Index };
    using ValueTexts = std::vector<std::optional<std::string>>;
    virtual bool wantsInsertValues() const { return false; }
    // How each value of the coming INSERTs is bound (a BindKind: text,
    // bytes as a BLOB, or a number where the text is an exact one); set
    // before each table's rows, cleared after them.
    virtual void binaryValues(const std::vector<char>& /*binary*/) {}
    // False once a row of the current table was rejected or lost.
    virtual bool tableWhole() { return true; }
    virtual void execute(RunState& state, StatementKind kind, const std::string& statement,
                         ValueTexts* values);
    // Called when the run takes the next table of the Access file, before
    // the overwrite question; the default does nothing.
    virtual void tableStarted(const QString& name);
    // Called when a table's statements are complete (direct mode), so a
    // host that batches can commit; the default does nothing.
    virtual void tableFinished(RunState& state);
    // With --views, after the views: what became of every saved query, or
    // why they could not be read.
    virtual void queriesFinished(const QueryViewsResult& /*result*/) {}
};

}  // namespace qb
