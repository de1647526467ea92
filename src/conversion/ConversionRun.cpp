#include "ConversionRun.h"

#include "ColumnType.h"
#include "InsertStatement.h"
#include "ListViewModel.h"
#include "QueryViews.h"
#include "TableAccount.h"
#include "TableExtras.h"
#include "ValueText.h"
#include "dbaccess/Access.h"
#include "dbaccess/AccessSalvage.h"
#include "dbaccess/Datatype.h"
#include "dbaccess/JournalMode.h"
#include "dbaccess/SQLite.h"
#include "core/ErrorTrap.h"

#include <QLocale>
#include <algorithm>
#include <optional>
#include <utility>

namespace qb {

bool ListContains(const QStringList& list, const QString& name) {
    const QString wanted = name.toLower();
    return std::any_of(list.begin(), list.end(), [&](const QString& entry) { return entry.toLower() == wanted; });
}

namespace {

[[noreturn]] void raiseNotSet() { throw DbError(91, "Object variable or With block variable not set"); }

template <class T>
T& deref(const std::unique_ptr<T>& p) {
    if (!p) raiseNotSet();
    return *p;
}

}  // namespace

void executeOnRun(RunState& state, const std::string& statement) {
    Connection& connection = deref(state.SQLite_conn);
    if (state.enterLog) std::exchange(state.enterLog, nullptr)();
    try {
        connection.execute(statement);
    } catch (const DbError& e) {
        const std::string& text = e.description();
        const bool noRoom = text.find("disk I/O error") != std::string::npos ||
                            text.find("database or disk is full") != std::string::npos;
        if (!noRoom || !state.leaveLog || !state.leaveLog()) throw;
        connection.execute(statement);
    }
}

void ConversionHost::execute(RunState& state, StatementKind, const std::string& statement, ValueTexts*) {
    executeOnRun(state, statement);
}

void ConversionHost::tableStarted(const QString&) {}
void ConversionHost::tableFinished(RunState&) {}

void ConversionRun::run() {
    Interaction& ui = host_.ui();
    ErrorTrap trap(ui, QStringLiteral("Form1"), QStringLiteral("PushButton7_Click"));
    if (trap.test(100, [&] { return state_.IsConverting; })) return;
    trap.run(102, [&] { state_.IsConverting = true; });
    bool damaged = false;
    trap.onReport = [&damaged](const QString& description) {
        damaged = damaged || access::isDamagedDatabaseText(description.toStdString());
    };
    if (state_.salvaging) access::clearSalvageNotes();

    std::unique_ptr<Connection> source;
    std::unique_ptr<Recordset> rowset;
    bool connectionsOpen = false;
    const ConversionOptions options = host_.options();
    // ISO dates are those of the C locale's patterns.
    // Views compare dates as text, so they need the ISO form whatever was asked.
    ValueFormat format(options.isoDates || options.views ? QLocale::c() : QLocale::system());
    format.yesNoNumbers = options.views;
    TableExtras extras(host_, state_, format);
    RunAccount account;

    trap.run(104, [&] { state_.SQLite_conn = Connection::create(); });
    trap.run(108, [&] { source = Connection::create(); });
    trap.run(110, [&] { rowset = std::make_unique<Recordset>(); });

    if (trap.test(116, [&] { return !TestSQLiteDatabase(host_.fields().sqlitePath); }) &&
        !host_.targetRefused(host_.fields().sqlitePath)) {
        trap.run(418, [&] { state_.IsConverting = false; });
        return;
    }
    trap.run(118, [&] { host_.setBusy(true); });
    trap.run(120, [&] { host_.List1().clear(); });
    trap.run(122, [&] { host_.List2().clear(); });
    // The datatype rows outlive their window for a second look; a new run
    // starts them afresh, so earlier runs' fields do not mix in.
    trap.run(122, [&] { host_.datatypeList().clear(); });
    trap.run(124, [&] { ListSQLiteTables(host_.List1(), host_.fields().sqlitePath); });
    trap.run(126, [&] {
        const SourceFields f = host_.fields();
        ListAccessTables(ui, host_.List2(), f.accessPath, f);
    });
    if (options.keys || options.childTables) trap.run(126, [&] { extras.prepare(host_.List2()); });
    trap.run(128, [&] { deref(source).cursorLocation = adUseClient; });
    trap.run(130, [&] { deref(source).mode = 3; });
    trap.run(132, [&] { deref(source).open(AccessConnectionString(QString(), QString(), host_.fields()).toStdString()); });
    trap.run(134, [&] { deref(state_.SQLite_conn).cursorLocation = adUseServer; });
    trap.run(136, [&] { deref(state_.SQLite_conn).commandTimeout = 5000; });
    trap.run(138, [&] { deref(state_.SQLite_conn).connectionTimeout = 5000; });
    trap.run(140, [&] { connectionsOpen = true; });
    trap.run(142, [&] { deref(state_.SQLite_conn).open(SQLiteConnectionString(host_.fields().sqlitePath).toStdString()); });
    // For statements that each commit by themselves (the run's and the SQL
    // Preview window's within it); put back before the connection closes,
    // whichever way the run ends. A host that writes each table in one
    // transaction syncs once per table anyway, and the log would only make
    // every page be written twice.
    std::optional<WriteAheadLog> wal;
    if (state_.SQLite_conn && state_.SQLite_conn->isOpen() && !host_.wantsInsertValues()) {
        state_.enterLog = [this, &wal] {
            wal.emplace(*state_.SQLite_conn);
            if (wal->active()) state_.leaveLog = [&wal] { return wal->leave(); };
        };
    }
    const auto restoreJournal = [&] {
        state_.enterLog = nullptr;
        state_.leaveLog = nullptr;
        if (wal) wal->restore();
    };
    // The handlers above refer to this run's log: gone with it.
    struct ForgetLog {
        RunState& state;
        ~ForgetLog() {
            state.enterLog = nullptr;
            state.leaveLog = nullptr;
        }
    } forgetLog{state_};

    using Kind = ConversionHost::StatementKind;
    const int tableCount = static_cast<int>(host_.List2().size());
    int leftAt = 0;  // tables before this index were never taken
    for (int index = tableCount - 1; index >= 0; --index) {
        if (trap.test(146, [&] { return host_.perTable(); })) {
            trap.run(148, [&] { host_.statementList().clear(); });
            trap.run(150, [&] { host_.datatypeList().clear(); });
        }
        trap.run(152, [&] { ui.yield(); });
        QString name;
        trap.run(154, [&] { name = host_.List2().at(index); });
        host_.tableStarted(name);
        account.tableStarted(name);
        const int reportsBefore = trap.reports();
        const std::string tableName = name.toStdString();

        MsgResult answer = MsgResult::Ok;  // "0": the table is not in the SQLite file
        const auto earlier = firstAnswers_.find(name);
        if (trap.test(156, [&] { return ListContains(host_.List1(), name); })) {
            // What the first reading wrote is replaced, so no row arrives
            // twice; a table the user kept stays kept.
            if (state_.salvaging && earlier != firstAnswers_.end())
                answer = earlier->second == MsgResult::No ? MsgResult::No : MsgResult::Yes;
            else trap.run(158, [&] {
                answer = askYesNo(ui, QStringLiteral("Would you like to overwrite ") + name + QStringLiteral("?"),
                                  QStringLiteral("Overwrite?"));
            });
        } else {
            trap.run(160, [&] { answer = MsgResult::Ok; });
        }
        if (!state_.salvaging) firstAnswers_[name] = answer;
        account.answered(answer);
        if (!trap.test(162, [&] { return answer == MsgResult::No; })) {
            std::string statement;
            const int linesBefore = host_.previewEnabled() ? host_.statementList().count() : 0;
            if (trap.test(170, [&] { return answer == MsgResult::Yes; })) {
                trap.run(170, [&] { statement = dropTableStatement(tableName); });
                if (trap.test(172, [&] { return host_.previewEnabled(); }))
                    trap.run(174, [&] { host_.statementList().add(QString::fromStdString(statement)); });
                else
                    trap.run(176, [&] { host_.execute(state_, Kind::Drop, statement, nullptr); });
                extras.dropEarlierChildTables(tableName);
            }
            trap.run(180, [&] { host_.setProgressText(QStringLiteral("Please wait.. Processing table ") + name); });
            trap.run(182, [&] { deref(rowset).open("SELECT * FROM `" + tableName + "`", deref(source)); });

            // Column definitions and the datatype rows.
            std::vector<FieldInfo> fields;
            trap.run(184, [&] { statement = createTableHead(tableName); });
            int fieldCount = 0;
            trap.run(188, [&] { fieldCount = deref(rowset).fieldCount(); });
            for (int f = 0; f < fieldCount; ++f) {
                ListViewModel& types = host_.datatypeList();
                trap.run(190, [&] { types.add(name); });
                trap.run(192, [&] { types.setSubItem(types.count(), 1, QString::fromStdString(deref(rowset).field(f).name)); });
                trap.run(194, [&] { ui.yield(); });
                FieldInfo info;
                trap.run(196, [&] {
                    const Field field = deref(rowset).field(f);
                    info = FieldInfo{field.name, field.type};
                });
                fields.push_back(info);
                std::string_view typeName;
                trap.run(198, [&] { typeName = adoTypeNameLower(info.type); });
                if (trap.test(200, [&] { return typeName == "adlongvarbinary" && !options.blobs; })) continue;
                ColumnType column = columnTypeForName(typeName);
                if (typeName == "adlongvarbinary") column.declaredType = "BLOB";
                trap.run(column.appendLine, [&] {
                    appendColumnDefinition(statement, info.name, extras.columnType(tableName, f, column.declaredType));
                });
                trap.run(column.keywordLine, [&] { types.setSubItem(types.count(), 2, QString::fromLatin1(column.keyword)); });
                trap.run(column.typeLine, [&] { types.setSubItem(types.count(), 3, QString::fromLatin1(column.declaredType)); });
            }
            if (options.keys) trap.run(298, [&] { statement += extras.tableConstraints(tableName); });
            trap.run(298, [&] {
                if (!statement.empty()) statement.pop_back();
            });
            trap.run(300, [&] { statement += ");"; });

            bool passOverRows = false;
            if (trap.test(302, [&] { return host_.previewEnabled(); })) {
                trap.run(304, [&] { host_.statementList().add(QString::fromStdString(statement)); });
            } else {
                const int before = trap.reports();
                trap.run(306, [&] { host_.execute(state_, Kind::Create, statement, nullptr); });
                // Inserting into whatever table of that name exists (one the
                // user refused to overwrite, or one hidden from the list)
                // would mix this table's rows into it.
                passOverRows = trap.reports() != before;
                if (passOverRows) {
                    long long rowsInAccess = 0;
                    trap.run(308, [&] { rowsInAccess = deref(rowset).recordcount(); });
                    account.createRefused(rowsInAccess);
                }
            }

            if (!passOverRows && trap.test(308, [&] { return !deref(rowset).eof() && !deref(rowset).bof(); })) {
                long long recordCount = 0;
                long long rowCounter = 0;
                trap.run(310, [&] {
                    recordCount = deref(rowset).recordcount();
                    rowCounter = 0;
                });
                InsertPlan plan = makeInsertPlan(tableName, fields);
                std::string valueText;
                const bool wantValues = host_.wantsInsertValues();
                // OLE Object fields kept as BLOBs: their bytes, not their text.
                std::vector<char> blob(plan.types.size(), 0);
                if (options.blobs)
                    for (std::size_t f = 0; f < blob.size(); ++f) blob[f] = std::exchange(plan.passedOver[f], 0);
                if (wantValues) host_.binaryValues(bindKinds(plan, blob));
                const long long rowLimit = host_.rowLimit();
                ConversionHost::ValueTexts values;
                // A limit of none takes no row at all.
                bool more = rowLimit != 0;
                while (more) {
                    trap.run(312, [&] { ui.yield(); });
                    trap.run(316, [&] { ++rowCounter; });
                    account.rowRead();
                    host_.rowProgress(rowCounter, recordCount);
                    trap.run(318, [&] {
                        host_.setProgressValue((static_cast<double>(rowCounter) + 1.0) /
                                               (static_cast<double>(recordCount) + 1.0) * 100.0);
                    });
                    trap.run(320, [&] { beginInsert(statement, plan); });
                    values.clear();
                    for (std::size_t f = 0; f < plan.types.size(); ++f) {
                        if (trap.test(324, [&] { return plan.passedOver[f] != 0; })) continue;
                        trap.run(326, [&] { ui.yield(); });
                        if (blob[f]) {
                            trap.run(328, [&] {
                                appendInsertBytes(statement, wantValues ? &values : nullptr, deref(rowset).values().at(f));
                            });
                            continue;
                        }
                        valueText.clear();
                        trap.run(328, [&] { appendValueText(valueText, deref(rowset).values().at(f), plan.types[f], format); });
                        // A host that binds the values needs no literals.
                        if (trap.test(330, [&] { return valueText.empty(); })) {
                            if (wantValues) values.emplace_back();
                            else trap.run(332, [&] { appendInsertNull(statement); });
                        } else if (wantValues) {
                            bindValueText(values, std::move(valueText));
                        } else {
                            trap.run(336, [&] { appendInsertText(statement, valueText); });
                        }
                    }
                    if (!wantValues) trap.run(348, [&] { finishInsert(statement); });
                    if (trap.test(352, [&] { return host_.previewEnabled(); }))
                        trap.run(354, [&] { host_.statementList().add(QString::fromStdString(statement)); });
                    else
                        trap.run(364, [&] { host_.execute(state_, Kind::Insert, statement, wantValues ? &values : nullptr); });
                    trap.run(366, [&] { deref(rowset).moveNext(); });
                    // A loop test that cannot be evaluated ends the loop:
                    // repeating it would report the same failure forever.
                    more = false;
                    trap.run(368, [&] { more = !deref(rowset).eof(); });
                    if (rowLimit >= 0 && rowCounter >= rowLimit) more = false;
                }
            }
            trap.run(370, [&] { deref(rowset).close(); });
            trap.run(370, [&] { host_.tableFinished(state_); });
            host_.binaryValues({});
            if (options.keys || options.childTables) extras.afterTable(tableName, answer, !passOverRows);
            if (host_.previewEnabled()) account.linesCollected(linesBefore, host_.statementList().count());
            account.failuresReported(trap.reports() - reportsBefore);
            trap.run(372, [&] { state_.StopConverting = true; });
            if (trap.test(374, [&] { return host_.previewEnabled(); }) &&
                trap.test(376, [&] { return host_.perTable(); })) {
                trap.run(378, [&] {
                    state_.lastPreview = {};
                    host_.showPreview();
                });
                account.previewClosed(state_);
                if (trap.test(380, [&] { return state_.StopConverting; })) {
                    leftAt = index;
                    break;
                }
            }
        }
        trap.run(382, [&] { host_.setProgressText(QString()); });
    }

    // Views read the tables, so they come after the last of them.
    if (options.views) {
        host_.queriesFinished(writeQueryViews(host_, state_));
    }
    if (trap.test(386, [&] { return host_.previewEnabled(); }) && trap.test(388, [&] { return host_.perFile(); })) {
        trap.run(390, [&] { state_.SQLFormOK = false; });
        trap.run(392, [&] {
                    state_.lastPreview = {};
                    host_.showPreview();
                });
        account.previewClosed(state_);
        if (trap.test(394, [&] { return !state_.SQLFormOK; })) {
            restoreJournal();
            trap.run(396, [&] { deref(state_.SQLite_conn).close(); });
            trap.run(398, [&] { deref(source).close(); });
            trap.run(400, [&] { connectionsOpen = false; });
            trap.run(402, [&] { host_.setProgressText(QString()); });
        }
    }
    if (trap.test(404, [&] { return connectionsOpen; })) {
        restoreJournal();
        trap.run(406, [&] { deref(state_.SQLite_conn).close(); });
        trap.run(408, [&] { deref(source).close(); });
    }
    bool again = false;
    trap.run(410, [&] {
        if (damaged && !state_.salvaging && host_.offersSalvage() && !host_.fields().salvage &&
            askYesNo(ui, QStringLiteral("The database is damaged. Recover what can be read?")) == MsgResult::Yes) {
            again = true;
            return;
        }
        if (!host_.accountsAtDone()) return showInfo(ui, QStringLiteral("Done."));
        const QStringList list2 = host_.List2();
        QStringList untaken;
        for (int index = leftAt - 1; index >= 0 && index < list2.size(); --index) untaken << list2.at(index);
        account.notTaken(untaken);
        if (state_.salvaging) account.salvaged(access::salvagedTables(), access::salvageDamage());
        showInfo(ui, account.doneText(host_.fields().sqlitePath));
    });
    trap.run(412, [&] { host_.setProgressValue(0); });
    trap.run(414, [&] { host_.setProgressText(QString()); });
    trap.run(416, [&] { host_.setBusy(false); });
    trap.run(418, [&] { state_.IsConverting = false; });
    if (!again) return;
    state_.salvaging = true;
    run();
    state_.salvaging = false;
    firstAnswers_.clear();
}

}  // namespace qb
