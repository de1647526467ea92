#pragma once
// The command line's fast mode: each table's statements in one transaction,
// its rows batched into multi-row prepared INSERTs that a writer thread runs
// while the run goes on reading the Access file. A host hands it what the
// run gives ConversionHost::execute and tableFinished; rejected rows are
// reported through the run's error report, as a rejected INSERT is in direct
// mode.

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
    // Runs what is still queued and commits the table's transaction.
    void tableFinished();

    // What committed transactions brought into the SQLite file.
    long long rows() const { return rows_; }
    int tables() const { return tables_; }

private:
    // Rows on their way to the writer thread, all of one table.
    struct Batch {
        std::string head;
        std::size_t width = 0;
        std::size_t rows = 0;
        std::vector<std::optional<std::string>> values;
        bool full = false;
    };

    void executeInTransaction(RunState& state, StatementKind kind, const std::string& statement,
                              ValueTexts* values);
    void flushBatch();
    void syncWriter();
    void reportWriterFailures();
    void writerLoop();
    void runBatch(Batch& batch, std::vector<DbError>& failures);
    void loseTransaction();
    void reportInsertFailure(const DbError& error);
    bool transactionActive();
    std::unique_ptr<OdbcBackend::Prepared> prepareInsert(const std::string& head, std::size_t width,
                                                         std::size_t rows);

    Interaction& ui_;
    long long rows_ = 0;
    int tables_ = 0;
    OdbcBackend* backend_ = nullptr;
    std::unique_ptr<OdbcBackend::Prepared> batchInsert_;
    std::string batchHead_;
    std::size_t batchWidth_ = 0;
    std::size_t batchCapacity_ = 1;
    std::size_t batchRows_ = 0;
    std::vector<std::optional<std::string>> batch_;
    bool inTransaction_ = false;
    // Shared with the writer thread.
    std::atomic<bool> transactionLost_ = false;
    std::atomic<long long> pendingRows_ = 0;
    std::atomic<int> pendingTables_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> queue_;
    std::vector<DbError> failures_;
    bool writing_ = false;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace qb
