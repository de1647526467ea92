#pragma once
// The command line's fast mode: each table's statements in one transaction,
// its rows batched into multi-row prepared INSERTs that a writer thread runs
// while the run goes on reading the Access file. A host hands it what the
// run gives ConversionHost::execute and tableFinished; rejected rows are
// reported through the run's error report, as a rejected INSERT is in direct
// mode. A table whose transaction is lost (its CREATE TABLE rejected, a full
// disk, a failed COMMIT) is rolled back whole: its rows are accounted once,
// at the table's end, not reported one by one.

#include "ConversionHost.h"
#include "RunState.h"
#include "core/Interaction.h"
#include "core/DbError.h"
#include "dbaccess/OdbcBackend.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qb {

class FastWriter {
public:
    explicit FastWriter(Interaction& ui) : ui_(ui) {}
    ~FastWriter();
    FastWriter(const FastWriter&) = delete;
    FastWriter& operator=(const FastWriter&) = delete;

    using StatementKind = ConversionHost::StatementKind;
    using ValueTexts = ConversionHost::ValueTexts;

    void execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values);
    // Which values of the coming rows are bytes, bound as BLOBs.
    void setBinaryValues(const std::vector<char>& binary) { binary_ = binary; }
    // Runs what is still queued and commits the table's transaction, or
    // rolls it back when it was lost.
    void tableFinished();

    // What committed transactions brought into the SQLite file.
    long long rows() const { return rows_; }
    int tables() const { return tables_; }
    // Rows of rolled-back tables that no error report named: with the
    // reports, every row of such a table counts as one failure.
    long long unreportedLostRows() const { return unreportedLostRows_; }
    // The last finished table: rolled back, and how many rows it had.
    bool lastTableRolledBack() const { return lastRolledBack_; }
    long long lastTableRows() const { return lastRows_; }

private:
    // Rows on their way to the writer thread, all of one table.
    struct Batch {
        std::string head;
        std::size_t width = 0;
        std::size_t rows = 0;
        std::vector<std::optional<std::string>> values;
        bool full = false;
        std::vector<char> binary;
    };

    void executeInTransaction(RunState& state, StatementKind kind, const std::string& statement,
                              ValueTexts* values);
    void flushBatch();
    void syncWriter();
    void reportWriterFailures();
    void writerLoop();
    void runBatch(Batch& batch, std::vector<DbError>& failures);
    void loseTransaction();
    void skipZeroingFreedPages();
    void rollBackQuietly();
    void accountRollback(long long rows, long long reported);
    void reportInsertFailure(const DbError& error);
    bool transactionActive();
    std::unique_ptr<OdbcBackend::Prepared> prepareInsert(const std::string& head, std::size_t width,
                                                         std::size_t rows);

    Interaction& ui_;
    long long rows_ = 0;
    int tables_ = 0;
    long long unreportedLostRows_ = 0;
    bool lastRolledBack_ = false;
    long long lastRows_ = 0;
    // The current table, on the main thread.
    long long tableRows_ = 0;
    long long rowReports_ = 0;
    bool tableCreated_ = false;
    OdbcBackend* backend_ = nullptr;
    std::unique_ptr<OdbcBackend::Prepared> batchInsert_;
    std::string batchHead_;
    std::size_t batchWidth_ = 0;
    std::size_t batchCapacity_ = 1;
    std::size_t batchRows_ = 0;
    std::vector<std::optional<std::string>> batch_;
    std::vector<char> binary_;
    bool inTransaction_ = false;
    bool deleteModeSet_ = false;
    // Shared with the writer thread.
    std::atomic<bool> transactionLost_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> queue_;
    std::vector<DbError> failures_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace qb
