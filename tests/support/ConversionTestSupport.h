#pragma once
// Shared by the conversion-run, command-line and main-window tests: a
// scripted host for the run, the command-line program as a child process,
// reading an SQLite file back through our own connection layer, and checking
// it against the fixtures' manifest.

#include "CoreApplication.h"
#include "Fixtures.h"
#include "Manifest.h"
#include "ScriptedInteraction.h"
#include "conversion/ConversionRun.h"
#include "conversion/ListViewModel.h"
#include "dbaccess/Connection.h"
#include "dbaccess/SQLite.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QTime>
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb::test {

// ---------------------------------------------------------------- the host

class ScriptedHost : public ConversionHost {
public:
    ScriptedHost(const QString& access, const QString& sqlite) : form{access, QString(), sqlite} {}

    Interaction& ui() override { return interaction; }
    SourceFields fields() override { return form; }
    bool previewEnabled() override { return preview; }
    bool perFile() override { return option1; }
    bool perTable() override { return option2; }

    void setProgressValue(double percent) override {
        progressValue = percent;
        progressValues.push_back(percent);
    }
    void setProgressText(const QString& text) override {
        progressText = text;
        progressTexts << text;
    }
    void setBusy(bool busy) override { busyFlags.push_back(busy); }

    QStringList& List1() override { return list1; }
    QStringList& List2() override { return list2; }
    ListViewModel& statementList() override { return *statements; }
    ListViewModel& datatypeList() override { return *datatypes; }

    // Records what the window would show, then lets the test act as the user.
    void showPreview() override {
        QStringList shown;
        for (int n = 1; n <= statements->count(); ++n) shown << statements->text(n);
        previews.push_back(shown);
        std::vector<QStringList> rows;
        for (int n = 1; n <= datatypes->count(); ++n)
            rows.push_back({datatypes->text(n), datatypes->subItem(n, 1), datatypes->subItem(n, 2),
                            datatypes->subItem(n, 3)});
        previewDatatypes.push_back(rows);
        if (onPreview) onPreview();
    }

    // Statements of the list executed on the run's connection, as a
    // completed "Execute SQL" does.
    void executeList(RunState& state) {
        for (int n = 1; n <= statements->count(); ++n) state.SQLite_conn->execute(statements->text(n).toStdString());
    }

    // Texts that name a table being processed, in order.
    QStringList processedTables() const {
        static const QString prefix = QStringLiteral("Please wait.. Processing table ");
        QStringList names;
        for (const QString& t : progressTexts)
            if (t.startsWith(prefix)) names << t.mid(prefix.size());
        return names;
    }

    ScriptedInteraction interaction;
    SourceFields form;
    bool preview = false;
    bool option1 = false;
    bool option2 = false;

    double progressValue = -1;
    QString progressText = QStringLiteral("<unset>");
    std::vector<double> progressValues;
    QStringList progressTexts;
    std::vector<bool> busyFlags;

    QStringList list1, list2;
    std::unique_ptr<ListViewModel> statements = createStatementList();
    std::unique_ptr<ListViewModel> datatypes = createDatatypeList();

    std::vector<QStringList> previews;
    std::vector<std::vector<QStringList>> previewDatatypes;
    std::function<void()> onPreview;
};

// Error reports among the messages shown: their statement numbers.
inline std::vector<int> reportedLines(const ScriptedInteraction& ui) {
    std::vector<int> lines;
    for (const auto& m : ui.messages) {
        if (m.title != QStringLiteral("Application Error")) continue;
        const qsizetype at = m.text.indexOf(QStringLiteral("at line "));
        lines.push_back(at < 0 ? -1 : m.text.mid(at + 8).section(QLatin1Char('\r'), 0, 0).toInt());
    }
    return lines;
}

inline QStringList reportTexts(const ScriptedInteraction& ui) {
    QStringList texts;
    for (const auto& m : ui.messages)
        if (m.title == QStringLiteral("Application Error")) texts << m.text;
    return texts;
}

// An empty SQLite database: a zero-length file.
inline QString makeEmptyDatabase(const QString& dir, const QString& name = QStringLiteral("target.db")) {
    const QString path = dir + QLatin1Char('/') + name;
    if (!writeFile(path, {})) ADD_FAILURE() << "cannot create " << path.toStdString();
    return path;
}

// ---------------------------------------------------------------- reading SQLite

using Cell = std::optional<std::string>;
using ResultRows = std::vector<std::vector<Cell>>;

inline Cell cellOf(const Variant& v) {
    if (isNull(v)) return std::nullopt;
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", *d);
        return std::string(buf);
    }
    if (auto b = std::get_if<bool>(&v)) return std::string(*b ? "1" : "0");
    return std::string("<unexpected variant>");
}

class SqliteReader {
public:
    explicit SqliteReader(const QString& path) : connection_(Connection::create()) {
        connection_->open(SQLiteConnectionString(path).toStdString());
    }
    ResultRows query(const std::string& sql) {
        auto source = connection_->backend()->openRowset(sql);
        ResultRows rows;
        std::vector<Variant> row;
        while (source->next(row)) {
            std::vector<Cell> cells;
            for (const Variant& v : row) cells.push_back(cellOf(v));
            rows.push_back(std::move(cells));
        }
        return rows;
    }
    // The single value of a one-row, one-column query.
    std::string scalar(const std::string& sql) {
        const ResultRows rows = query(sql);
        if (rows.size() != 1 || rows[0].size() != 1 || !rows[0][0]) {
            ADD_FAILURE() << "no single value from " << sql;
            return {};
        }
        return *rows[0][0];
    }
    void execute(const std::string& sql) { connection_->execute(sql); }

    std::vector<std::string> tableNames() {
        std::vector<std::string> names;
        for (const auto& r : query("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"))
            names.push_back(r.at(0).value_or(""));
        return names;
    }
    long long rowCount(const std::string& table) {
        return std::stoll(scalar("SELECT count(*) FROM " + sqlIdentifier(table)));
    }

    static std::string sqlIdentifier(const std::string& name) { return quoted(name, '"'); }
    static std::string sqlLiteral(const std::string& text) { return quoted(text, '\''); }

private:
    // Written here, not taken from the program, so that a quoting fault in
    // the program cannot hide itself in the checks.
    static std::string quoted(const std::string& text, char quote) {
        std::string out(1, quote);
        for (char c : text) {
            out += c;
            if (c == quote) out += quote;
        }
        return out + quote;
    }

    std::unique_ptr<Connection> connection_;
};

// Every table of the file with its rows (typeof and quote of each column, in
// rowid order) and its schema text, for comparing two conversions.
inline std::string dumpDatabase(const QString& path) {
    SqliteReader db(path);
    std::string out;
    for (const auto& r : db.query("SELECT name, sql FROM sqlite_master ORDER BY type, name")) {
        const std::string name = r.at(0).value_or("");
        out += "schema " + name + ": " + r.at(1).value_or("<null>") + "\n";
        std::string select;
        for (const auto& c : db.query("SELECT name FROM pragma_table_info(" + SqliteReader::sqlLiteral(name) + ")")) {
            const std::string col = SqliteReader::sqlIdentifier(c.at(0).value_or(""));
            select += std::string(select.empty() ? "" : " || '|' || ") + "typeof(" + col + ") || ':' || quote(" + col + ")";
        }
        if (select.empty()) continue;
        for (const auto& row : db.query("SELECT " + select + " FROM " + SqliteReader::sqlIdentifier(name) + " ORDER BY rowid"))
            out += "  " + row.at(0).value_or("<null>") + "\n";
    }
    return out;
}

// ---------------------------------------------------------------- the program

struct CliResult {
    int exitCode = -1;  // -1: killed or crashed
    QString out;
    QString err;
};

inline std::string show(const CliResult& r) {
    return "exit " + std::to_string(r.exitCode) + "\nstdout: " + r.out.toStdString() + "\nstderr: " +
           r.err.left(2000).toStdString();
}

inline void prepareProcess(QProcess& p, const std::function<void()>& inChild,
                           const QString& locale = QStringLiteral("C")) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    env.insert(QStringLiteral("LANG"), locale);
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    if (inChild) p.setChildProcessModifier(inChild);
}

// quellbrook-convert with `inChild` run between fork and exec (it must
// only make system calls; on failure it ends the child with status 120).
inline CliResult runConvert(const QStringList& arguments, const std::function<void()>& inChild = {},
                            int timeoutMs = 60000, const QString& program = QStringLiteral(QB_CONVERT_EXE),
                            const QString& locale = QStringLiteral("C")) {
    ensureCoreApplication();
    QProcess p;
    prepareProcess(p, inChild, locale);
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        ADD_FAILURE() << "quellbrook-convert did not finish within " << timeoutMs << " ms";
    }
    CliResult r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// ---------------------------------------------------------------- expected values

// The date text of a canonical "YYYY-MM-DDTHH:MM:SS" under the given date and
// time patterns: the date alone at midnight, the time alone on 1899-12-30.
inline QString dateText(const QString& iso, const QLocale& locale, const QString& datePattern,
                        const QString& timePattern) {
    const QDate date = QDate::fromString(iso.left(10), Qt::ISODate);
    const QTime time = QTime::fromString(iso.mid(11), Qt::ISODate);
    if (date == QDate(1899, 12, 30)) return locale.toString(time, timePattern);
    QString text = locale.toString(date, datePattern);
    if (time != QTime(0, 0)) text += QLatin1Char(' ') + locale.toString(time, timePattern);
    return text;
}

// Independent of the process's C locale.
inline float parseSingle(const std::string& text) {
    float value = std::nanf("");
    const char* begin = text.data();
    if (!text.empty() && text[0] == '+') ++begin;
    std::from_chars(begin, text.data() + text.size(), value);
    return value;
}

using DateTextFn = std::function<QString(const QString& iso)>;

inline QString cDateText(const QString& iso) {
    return dateText(iso, QLocale::c(), QStringLiteral("yyyy-MM-dd"), QStringLiteral("HH:mm:ss"));
}

inline std::string withoutNuls(std::string s) {
    std::erase(s, '\0');
    return s;
}

// Checks every value of a manifest table (one given with its rows) against the
// converted SQLite table: per column type, its storage class and its value.
inline void expectTableMatchesManifest(SqliteReader& db, const QJsonObject& table, const DateTextFn& dates,
                                       const std::string& where) {
    const std::string name = table.value(QStringLiteral("name")).toString().toStdString();
    const QJsonArray columns = table.value(QStringLiteral("columns")).toArray();
    const QJsonArray rows = table.value(QStringLiteral("rows")).toArray();
    SCOPED_TRACE(where + " table " + name);

    // Schema: one column per field apart from OLE, in field order.
    std::vector<std::string> expectedColumns;
    std::vector<int> transferred;  // manifest column index per SQLite column
    for (int c = 0; c < columns.size(); ++c) {
        const QString type = columns[c].toObject().value(QStringLiteral("type")).toString();
        if (type == QStringLiteral("OLE")) continue;
        expectedColumns.push_back(columns[c].toObject().value(QStringLiteral("name")).toString().toStdString());
        transferred.push_back(c);
    }
    std::vector<std::string> actualColumns;
    for (const auto& r : db.query("SELECT name FROM pragma_table_info(" + SqliteReader::sqlLiteral(name) + ")"))
        actualColumns.push_back(r.at(0).value_or(""));
    ASSERT_EQ(actualColumns, expectedColumns);
    ASSERT_EQ(db.rowCount(name), rows.size());
    if (expectedColumns.empty()) return;

    // One query per row: storage class, a check made by SQLite itself, and
    // the value as text.
    for (int r = 0; r < rows.size(); ++r) {
        const QJsonArray values = rows[r].toArray();
        std::string select;
        std::vector<std::string> expectations;
        for (std::size_t k = 0; k < transferred.size(); ++k) {
            const int c = transferred[k];
            const QString type = columns[c].toObject().value(QStringLiteral("type")).toString();
            const QJsonValue v = values[c];
            const std::string col = SqliteReader::sqlIdentifier(expectedColumns[k]);
            std::string check;  // SQL condition that must be true
            std::string expect;  // for the failure message
            const std::string canon = v.isString() ? v.toString().toStdString() : std::string();
            if (type == QStringLiteral("BOOLEAN")) {
                const std::string word = v.toBool() ? "True" : "False";
                check = "typeof(" + col + ")='text' AND " + col + " IS " + SqliteReader::sqlLiteral(word);
                expect = "text " + word;
            } else if (v.isNull() ||
                       (canon.empty() && (type == QStringLiteral("TEXT") || type == QStringLiteral("MEMO") ||
                                          type == QStringLiteral("BINARY")))) {
                check = col + " IS NULL";
                expect = "NULL";
            } else if (type == QStringLiteral("BYTE") || type == QStringLiteral("INT") ||
                       type == QStringLiteral("LONG") || type == QStringLiteral("BIG_INT")) {
                check = "typeof(" + col + ")='integer' AND " + col + " = " + canon;
                expect = "integer " + canon;
            } else if (type == QStringLiteral("MONEY") || type == QStringLiteral("NUMERIC") ||
                       type == QStringLiteral("DOUBLE")) {
                check = "typeof(" + col + ") IN ('real','integer') AND " + col + " = CAST(" +
                        SqliteReader::sqlLiteral(canon) + " AS REAL)";
                expect = "number " + canon;
            } else if (type == QStringLiteral("FLOAT")) {
                check = "typeof(" + col + ")='text'";
                expect = "single text " + canon;
            } else if (type == QStringLiteral("SHORT_DATE_TIME")) {
                const std::string text = dates(v.toString()).toStdString();
                check = "typeof(" + col + ")='text' AND " + col + " IS " + SqliteReader::sqlLiteral(text);
                expect = "text " + text;
            } else if (type == QStringLiteral("BINARY")) {
                const std::string hex = QString::fromStdString(canon).toUpper().toStdString();
                check = "typeof(" + col + ")='text' AND " + col + " IS " + SqliteReader::sqlLiteral(hex);
                expect = "text " + hex;
            } else {  // TEXT, MEMO, GUID
                const std::string text = withoutNuls(canon);
                check = "typeof(" + col + ")='text' AND " + col + " IS " + SqliteReader::sqlLiteral(text);
                expect = "text " + text.substr(0, 80);
            }
            select += std::string(select.empty() ? "" : ", ") + "CASE WHEN " + check + " THEN 'ok' ELSE 'bad' END, " +
                      "typeof(" + col + ") || ':' || quote(" + col + "), " + col;
            expectations.push_back(expect);
        }
        const ResultRows got = db.query("SELECT " + select + " FROM " + SqliteReader::sqlIdentifier(name) +
                                        " ORDER BY rowid LIMIT 1 OFFSET " + std::to_string(r));
        ASSERT_EQ(got.size(), 1u) << "row " << r + 1;
        for (std::size_t k = 0; k < transferred.size(); ++k) {
            const Cell& verdict = got[0].at(3 * k);
            const Cell& shown = got[0].at(3 * k + 1);
            EXPECT_EQ(verdict.value_or(""), "ok") << "row " << r + 1 << " column " << expectedColumns[k]
                                                  << ": expected " << expectations[k] << ", got "
                                                  << shown.value_or("<null>").substr(0, 120);
            const int c = transferred[k];
            if (columns[c].toObject().value(QStringLiteral("type")).toString() == QStringLiteral("FLOAT") &&
                values[c].isString()) {
                // A single's text must read back as the same single, with a point.
                const std::string text = got[0].at(3 * k + 2).value_or("");
                EXPECT_EQ(text.find(','), std::string::npos) << "row " << r + 1 << ": " << text;
                EXPECT_EQ(parseSingle(text), parseSingle(values[c].toString().toStdString()))
                    << "row " << r + 1 << " column " << expectedColumns[k] << ": " << text;
            }
        }
    }
}

}  // namespace qb::test
