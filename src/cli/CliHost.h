#pragma once
// The command line's side of the conversion run: the options, the answers
// to the run's questions on the terminal, and the host that executes the
// statements or writes them to the script while keeping a record of every
// table for the summary.

#include "conversion/ConversionRun.h"
#include "conversion/FastWriter.h"
#include "conversion/ListViewModel.h"
#include "conversion/QueryViews.h"
#include "conversion/TableAccount.h"
#include "core/Interaction.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qb::cli {

class ScriptFile;

enum class Overwrite { Ask, Yes, No };

struct Options {
    QString accessFile;
    QString sqliteFile;
    QString password;
    std::optional<QString> passwordOption;
    std::optional<QString> passwordFile;
    QString sqlFile;
    Overwrite overwrite = Overwrite::Ask;
    bool fast = false;
    long long limit = -1;
    bool salvage = false;
    ConversionOptions extras;
    SourceFields form() const { return {accessFile, password, sqliteFile, salvage}; }
};

class CliInteraction : public Interaction {
public:
    explicit CliInteraction(Overwrite overwrite) : overwrite_(overwrite) {}

    MsgResult message(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon) override;
    bool openUrl(const QString&) override { return false; }
    void yield() override {}
    int drawPercent() override { return 100; }

    void clearProgressLine();

    int failures = 0;
    bool progressShown = false;
    // The answer to the current table's overwrite question, if one was asked.
    std::optional<MsgResult> lastAnswer;

private:
    MsgResult ask(const QString& question);
    Overwrite overwrite_;
};

class CliHost : public ConversionHost {
public:
    CliHost(const Options& options, CliInteraction& ui, ScriptFile* script);
    Interaction& ui() override { return ui_; }
    SourceFields fields() override { return options_.form(); }
    bool previewEnabled() override { return script_ != nullptr; }
    bool perFile() override { return true; }
    bool perTable() override { return false; }

    void setProgressValue(double) override {}
    void setProgressText(const QString& text) override;
    void rowProgress(long long row, long long total) override;
    void setBusy(bool busy) override {
        // The run sets the busy state only once the SQLite file passed its test.
        if (busy) targetAccepted = true;
    }
    QStringList& List1() override { return list1_; }
    QStringList& List2() override { return list2_; }
    ListViewModel& statementList() override { return *statements_; }
    ListViewModel& datatypeList() override { return *datatypes_; }
    void showPreview() override;

    ConversionOptions options() const override { return options_.extras; }
    bool wantsInsertValues() const override { return options_.fast; }
    void binaryValues(const std::vector<char>& binary) override { fast_.setBinaryValues(binary); }
    bool tableWhole() override;
    long long rowLimit() const override { return options_.limit; }
    void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) override;
    void tableStarted(const QString& name) override;
    void tableFinished(RunState&) override;
    void queriesFinished(const QueryViewsResult& result) override { queries = result; }

    // What reached the SQLite file (or, with --sql, the script).
    long long totalRows() const { return rows + fast_.rows(); }
    int totalTables() const { return tables + fast_.tables(); }
    long long unreportedLostRows() const { return fast_.unreportedLostRows(); }
    std::vector<TableRecord>& tableRecords() {
        closeTable();
        return tables_;
    }
    // With --sql: every statement reached the script.
    bool scriptWhole() const { return sqlWritten >= 0; }

    long long rows = 0;
    int tables = 0;
    int tablesCollected = 0;
    long long rowsCollected = 0;
    int sqlWritten = -1;
    QueryViewsResult queries;
    bool targetAccepted = false;

private:
    static constexpr int kStatementsPerWrite = 512;

    void closeTable();
    void noteRollback();
    void writeStatements();

    const Options& options_;
    CliInteraction& ui_;
    std::unique_ptr<ListViewModel> statements_;
    std::unique_ptr<ListViewModel> datatypes_;
    QStringList list1_, list2_;
    std::string currentTable_;
    bool showProgress_;
    ScriptFile* script_;
    int statementsWritten_ = 0;
    std::vector<TableRecord> tables_;
    FastWriter fast_;
};

}  // namespace qb::cli
