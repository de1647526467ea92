#include "FastWriter.h"

#include "core/ErrorTrap.h"

#include <QString>
#include <algorithm>
#include <iterator>
#include <utility>

namespace qb {

namespace {

constexpr const char* kNotExecuted =
    "SQLException: not executed: an earlier failure rolled back the transaction of this table, and with it "
    "every statement of the table before it.";
constexpr std::size_t kQueuedBatches = 4;
constexpr std::size_t kBatchRows = 256;
constexpr std::size_t kMaxParameters = 32766;

// INSERT INTO "name" from the head of a rendered row.
std::string tableHead(const std::string& statement) {
    const std::string lead = "INSERT INTO \"";
    std::size_t i = lead.size();
    while (i < statement.size()) {
        if (statement[i] == '"') {
            if (i + 1 < statement.size() && statement[i + 1] == '"') {
                i += 2;
                continue;
            }
            break;
        }
        ++i;
    }
    return statement.substr(0, i + 1);
}

// INSERT INTO "name" VALUES(?,?,...),(?,?,...)...
std::string multiRowInsert(const std::string& head, std::size_t width, std::size_t rows) {
    std::string sql = head + " VALUES";
    for (std::size_t r = 0; r < rows; ++r) {
        sql += r ? ",(" : "(";
        for (std::size_t n = 0; n < width; ++n) sql += n ? ",?" : "?";
        sql += ')';
    }
    return sql;
}

}  // namespace

FastWriter::~FastWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (writer_.joinable()) writer_.join();
}

void FastWriter::execute(RunState& state, StatementKind kind, const std::string& statement, ValueTexts* values) {
    reportWriterFailures();
    if (kind == StatementKind::Insert) ++tableRows_;
    executeInTransaction(state, kind, statement, values);
    if (kind == StatementKind::Create) tableCreated_ = true;
}

void FastWriter::tableFinished() {
    if (inTransaction_ && !transactionLost_) flushBatch();
    syncWriter();
    batch_.clear();
    batchRows_ = 0;
    batchInsert_.reset();
    batchHead_.clear();
    const bool open = inTransaction_ && !transactionLost_;
    const bool lost = inTransaction_ && transactionLost_;
    inTransaction_ = false;
    transactionLost_ = false;
    const long long rows = std::exchange(tableRows_, 0);
    const long long reported = std::exchange(rowReports_, 0);
    const bool created = std::exchange(tableCreated_, false);
    lastRolledBack_ = false;
    lastRows_ = rows;
    if (lost) accountRollback(rows, reported);
    if (!open) return;
    try {
        backend_->commit();
    } catch (const DbError&) {
        // A COMMIT that fails may leave the transaction open; the next
        // table must not run inside it.
        rollBackQuietly();
        accountRollback(rows, reported);
        throw;
    }
    rows_ += rows - reported;
    tables_ += created ? 1 : 0;
}

void FastWriter::accountRollback(long long rows, long long reported) {
    lastRolledBack_ = true;
    unreportedLostRows_ += std::max(0LL, rows - reported);
}

void FastWriter::executeInTransaction(RunState& state, StatementKind kind, const std::string& statement,
                                      ValueTexts* values) {
    if (!state.SQLite_conn || !state.SQLite_conn->backend())
        throw objectClosedError();
    backend_ = dynamic_cast<OdbcBackend*>(state.SQLite_conn->backend());
    if (!backend_) throw DbError(errnum::Generic, "The fast mode needs the SQLite ODBC connection.");
    if (transactionLost_) {
        // Counted with the table's rollback at its end.
        if (kind == StatementKind::Insert) return;
        throw DbError(errnum::Generic, kNotExecuted);
    }
    if (!inTransaction_) {
        if (!deleteModeSet_) {
            deleteModeSet_ = true;
            skipZeroingFreedPages();
        }
        backend_->begin();
        inTransaction_ = true;
    }
    if (kind == StatementKind::Insert && values) {
        // Rows wait in a batch; a failure in it is reported per row
        // when the batch runs.
        const bool sameTable = !batchHead_.empty() && statement.size() > batchHead_.size() &&
                               statement.compare(0, batchHead_.size(), batchHead_) == 0 &&
                               statement[batchHead_.size()] == ' ';
        if (!sameTable || values->size() != batchWidth_) {
            const std::string head = tableHead(statement);
            flushBatch();
            syncWriter();
            batchInsert_.reset();
            batchHead_ = head;
            batchWidth_ = values->size();
            batchCapacity_ = std::clamp<std::size_t>(kMaxParameters / std::max<std::size_t>(1, batchWidth_), 1,
                                                     kBatchRows);
        }
        // The last batch went to the writer with the buffer.
        if (batch_.empty()) batch_.reserve(batchCapacity_ * batchWidth_);
        std::move(values->begin(), values->end(), std::back_inserter(batch_));
        if (++batchRows_ == batchCapacity_) flushBatch();
        return;
    }
    flushBatch();
    syncWriter();
    if (transactionLost_) throw DbError(errnum::Generic, kNotExecuted);
    try {
        backend_->execute(statement);
    } catch (const DbError&) {
        // A table that cannot be created must not cost the old copy that
        // its DROP TABLE removed: the table's statements are one change.
        if (kind == StatementKind::Create) {
            rollBackQuietly();
            loseTransaction();
            throw;
        }
        // After a full disk or an I/O error SQLite rolls the whole
        // transaction back by itself. The table's later statements would
        // then run one by one outside any transaction: rows into a
        // table that no longer exists, or into the old table that a
        // rolled-back DROP TABLE has brought back.
        if (!transactionActive()) loseTransaction();
        throw;
    }
}

// Hands the waiting rows to the writer thread as one multi-row INSERT:
// the driver's work per execution and the hand-over between the threads
// are paid once per batch, not once per row (one row per execution took
// five times as long), and the writer lets reading the Access file
// overlap with writing SQLite.
void FastWriter::flushBatch() {
    if (batchRows_ == 0) return;
    Batch batch{batchHead_, batchWidth_, std::exchange(batchRows_, 0), {}, false, binary_};
    batch.values.swap(batch_);
    batch.full = batch.rows == batchCapacity_;
    std::unique_lock lock(mutex_);
    if (!writer_.joinable()) writer_ = std::thread([this] { writerLoop(); });
    // A short queue keeps memory flat however large the table.
    changed_.wait(lock, [this] { return queue_.size() < kQueuedBatches; });
    queue_.push_back(std::move(batch));
    changed_.notify_all();
}

// Waits until the writer has run every queued batch, then reports what
// failed in them: the connection is the main thread's again.
void FastWriter::syncWriter() {
    std::vector<DbError> failures;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.empty() && !writing_; });
        failures.swap(failures_);
    }
    for (const DbError& e : failures) reportInsertFailure(e);
}

void FastWriter::reportWriterFailures() {
    std::vector<DbError> failures;
    {
        std::lock_guard lock(mutex_);
        failures.swap(failures_);
    }
    for (const DbError& e : failures) reportInsertFailure(e);
}

void FastWriter::writerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        Batch batch = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();
        std::vector<DbError> failures;
        try {
            runBatch(batch, failures);
        } catch (const std::exception& e) {
            failures.emplace_back(errnum::Generic, std::string("SQLException: ") + e.what());
        }
        lock.lock();
        failures_.insert(failures_.end(), failures.begin(), failures.end());
        writing_ = false;
        changed_.notify_all();
    }
}

// On the writer thread. When the batch fails, its rows are tried one by
// one so that exactly the rows SQLite rejects are reported (the failed
// batch itself left nothing behind).
void FastWriter::runBatch(Batch& batch, std::vector<DbError>& failures) {
    // Counted with the table's rollback at its end.
    if (transactionLost_) return;
    try {
        if (batch.full) {
            if (!batchInsert_)
                batchInsert_ = prepareInsert(batch.head, batch.width, batch.rows);
            backend_->bindAndExecute(*batchInsert_, batch.values, batch.binary);
        } else {
            auto tail = prepareInsert(batch.head, batch.width, batch.rows);
            backend_->bindAndExecute(*tail, batch.values, batch.binary);
        }
        return;
    } catch (const DbError& e) {
        if (!transactionActive()) {
            loseTransaction();
            failures.push_back(e);
            return;
        }
    }
    auto single = prepareInsert(batch.head, batch.width, 1);
    for (std::size_t r = 0; r < batch.rows; ++r) {
        if (transactionLost_) return;
        const auto first = batch.values.begin() + static_cast<long>(r * batch.width);
        const std::vector<std::optional<std::string>> row(first, first + static_cast<long>(batch.width));
        try {
            backend_->bindAndExecute(*single, row, batch.binary);
        } catch (const DbError& e) {
            if (!transactionActive()) loseTransaction();
            failures.push_back(e);
        }
    }
}

// An SQLite built to zero deleted content reads, journals and rewrites
// every page of a table that --overwrite drops: a third of the run for a
// table of 200,000 rows. FAST still zeroes what costs no extra I/O; the
// journal, and so what a kill leaves behind, are unchanged.
void FastWriter::skipZeroingFreedPages() {
    try {
        backend_->execute("PRAGMA secure_delete=FAST");
    } catch (const DbError&) {
        // An SQLite without FAST: only slower.
    }
}

void FastWriter::loseTransaction() { transactionLost_ = true; }

void FastWriter::rollBackQuietly() {
    try {
        backend_->rollback();
    } catch (const DbError&) {
        // No transaction was left to roll back.
    }
}

// Reported as the run reports a rejected INSERT.
void FastWriter::reportInsertFailure(const DbError& error) {
    ++rowReports_;
    ErrorTrap trap(ui_, QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
    trap.run(364, [&] { throw error; });
}

// BEGIN is refused inside an open transaction; where it succeeds, the
// transaction was gone, and the probe's own is rolled back at once.
bool FastWriter::transactionActive() {
    try {
        backend_->begin();
    } catch (const DbError&) {
        return true;
    }
    try {
        backend_->rollback();
    } catch (const DbError&) {
    }
    return false;
}

// The driver keeps the compiled program of a prepared statement only
// for what it takes to be a query, and a WITH clause is one: with the
// clause the batch INSERT is compiled once per table, not at every
// execution, which nearly halves the time of a large table. The unused
// common table expression changes nothing the INSERT does. Where it is
// refused (an SQLite without WITH), the plain statement still works.
std::unique_ptr<OdbcBackend::Prepared> FastWriter::prepareInsert(const std::string& head, std::size_t width,
                                                     std::size_t rows) {
    const std::string sql = multiRowInsert(head, width, rows);
    try {
        return backend_->prepare("WITH quellbrook_unused AS (SELECT 1) " + sql);
    } catch (const DbError&) {
        return backend_->prepare(sql);
    }
}

}  // namespace qb
