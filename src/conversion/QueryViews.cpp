#include "QueryViews.h"

#include "AccessExpression.h"
#include "ListViewModel.h"
#include "ViewTranslation.h"
#include "dbaccess/Access.h"
#include "dbaccess/AccessFormat.h"
#include "dbaccess/AccessQueries.h"
#include "core/ErrorTrap.h"

#include <QString>

#include <algorithm>
#include <map>
#include <memory>
#include <set>

namespace qb {

namespace {

using accesssql::lower;
using accesssql::quoteText;

// Tables as the run wrote them, and queries translated on first demand so
// that a view always comes after the views it reads.
class Relations : public RelationLookup {
public:
    Relations(Backend& access, const std::vector<SavedQuery>& queries, bool blobs) : access_(access), blobs_(blobs) {
        for (const SavedQuery& q : queries) queries_[lower(q.name)] = &q;
    }

    const Relation* find(const std::string& name) override {
        const std::string key = lower(name);
        if (const auto it = relations_.find(key); it != relations_.end()) return it->second.get();
        if (const auto q = queries_.find(key); q != queries_.end()) {
            if (!stack_.empty()) uses_[stack_.back()].insert(key);
            translate(*q->second);
            const auto& outcome = outcomes_[key];
            if (outcome.status != "view created")
                throw NotTranslated("it uses the query [" + q->second->name + "], which has no view");
            return relations_[key].get();
        }
        return table(name);
    }

    // Translates `q` unless done already; its outcome lands in outcomes().
    void translate(const SavedQuery& q) {
        const std::string key = lower(q.name);
        if (outcomes_.count(key)) return;
        if (std::find(stack_.begin(), stack_.end(), key) != stack_.end())
            throw NotTranslated("it uses itself through other queries");
        stack_.push_back(key);
        QueryOutcome& o = outcomes_[key];
        o.name = q.name;
        o.kind = queryKindName(q.kind);
        o.status = "not translated";
        try {
            o.accessSql = accessSql(q);
        } catch (const DbError& e) {
            o.reason = "its stored rows cannot be read: " + e.description();
        }
        try {
            if (q.hidden()) {
                o.status = "left out";
                o.reason = "a form's or report's record source";
            } else if (o.reason.empty()) {
                ViewTranslation t = translateQuery(q, *this);
                auto relation = std::make_unique<Relation>();
                relation->name = q.name;
                relation->columns = t.columns;
                relation->view = true;
                relations_[key] = std::move(relation);
                o.viewSql = "CREATE VIEW " + quotedIdentifier(q.name) + " AS " + t.select;
                o.status = "view created";
                order_.push_back(key);
            }
        } catch (const NotTranslated& e) {
            o.reason = e.what();
        } catch (const std::exception& e) {
            o.reason = std::string("its SQL cannot be read: ") + e.what();
        }
        stack_.pop_back();
    }

    // The queries `key`'s view reads.
    const std::set<std::string>& uses(const std::string& key) { return uses_[key]; }

    std::map<std::string, QueryOutcome>& outcomes() { return outcomes_; }
    const std::vector<std::string>& viewOrder() const { return order_; }

private:
    const Relation* table(const std::string& name) {
        std::optional<TableSchema> schema;
        try {
            schema = access_.tableSchema(name);
        } catch (const DbError&) {
            return nullptr;  // not a local table: linked, or not there
        }
        if (!schema) return nullptr;
        auto relation = std::make_unique<Relation>();
        relation->name = name;
        for (const auto& c : schema->columns) {
            // OLE Object fields stay out of the tables without --blobs.
            if (c.jetType == access::coltype::Ole && !blobs_) {
                relation->leftOut.push_back(c.name);
                continue;
            }
            relation->columns.push_back(relationColumn(c.name, c.jetType));
        }
        return (relations_[lower(name)] = std::move(relation)).get();
    }

    Backend& access_;
    bool blobs_;
    std::map<std::string, const SavedQuery*> queries_;
    std::map<std::string, std::unique_ptr<Relation>> relations_;
    std::map<std::string, QueryOutcome> outcomes_;
    std::vector<std::string> stack_;  // queries being translated, innermost last
    std::map<std::string, std::set<std::string>> uses_;
    std::vector<std::string> order_;
};

class ViewWriter {
public:
    ViewWriter(ConversionHost& host, RunState& state) : host_(host), state_(state) {}

    // Whether `name` may be created: asks, as for a table, when a table or
    // view holds it, and drops it on Yes.
    bool claim(const std::string& name, ErrorTrap& trap) {
        const std::string existing = existingType(name);
        if (existing.empty()) return true;
        // Indexes and triggers share the names too; they are not replaced.
        if (existing != "table" && existing != "view") return false;
        MsgResult answer = MsgResult::No;
        trap.run(10, [&] {
            answer = askYesNo(
                host_.ui(),
                QStringLiteral("Would you like to overwrite ") + QString::fromStdString(name) + QStringLiteral("?"),
                QStringLiteral("Overwrite?"));
        });
        if (answer != MsgResult::Yes) return false;
        issue(std::string(existing == "view" ? "DROP VIEW " : "DROP TABLE ") + quotedIdentifier(name), trap);
        return true;
    }

    // A view SQLite refuses is a query without a view, not a failed run:
    // in direct mode it is tried before it is kept.
    std::string createView(const std::string& name, const std::string& statement) {
        if (host_.previewEnabled()) {
            host_.statementList().add(QString::fromStdString(statement));
            return {};
        }
        if (!state_.SQLite_conn || !state_.SQLite_conn->backend()) return "the SQLite file is not open";
        try {
            Connection& c = *state_.SQLite_conn;
            c.execute(statement);
            try {
                c.backend()->openRowset("SELECT * FROM " + quotedIdentifier(name) + " LIMIT 0");
            } catch (const DbError& e) {
                c.execute("DROP VIEW " + quotedIdentifier(name));
                return e.description();
            }
        } catch (const DbError& e) {
            return e.description();
        }
        return {};
    }

    void issue(const std::string& statement, ErrorTrap& trap) {
        trap.run(20, [&] {
            if (host_.previewEnabled()) host_.statementList().add(QString::fromStdString(statement));
            else host_.execute(state_, ConversionHost::StatementKind::Index, statement, nullptr);
        });
    }

private:
    // "table", "view" or "" for a name free in the SQLite file.
    std::string existingType(const std::string& name) {
        try {
            if (state_.SQLite_conn && state_.SQLite_conn->backend()) {
                auto rows = state_.SQLite_conn->backend()->openRowset(
                    "SELECT type FROM sqlite_master WHERE lower(name) = lower(" + quoteText(name) + ")");
                std::vector<Variant> row;
                while (rows->next(row))
                    if (!row.empty() && std::holds_alternative<std::string>(row[0]))
                        return std::get<std::string>(row[0]);
                return {};
            }
        } catch (const DbError&) {
        }
        for (const QString& t : host_.List1())
            if (t.compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0) return "table";
        return {};
    }

private:
    ConversionHost& host_;
    RunState& state_;
};

void writeQueryTable(ViewWriter& writer, ErrorTrap& trap, const std::vector<QueryOutcome>& outcomes) {
    const std::string table = "_access_queries";
    if (!writer.claim(table, trap)) return;
    writer.issue("CREATE TABLE " + quotedIdentifier(table) +
                     "(\"name\" TEXT, \"kind\" TEXT, \"access_sql\" TEXT, \"view_sql\" TEXT, \"status\" TEXT, "
                     "\"reason\" TEXT)",
                 trap);
    for (const QueryOutcome& o : outcomes) {
        auto text = [](const std::string& s) { return s.empty() ? std::string("NULL") : quoteText(s); };
        writer.issue("INSERT INTO " + quotedIdentifier(table) + " VALUES(" + quoteText(o.name) + ", " +
                         quoteText(o.kind) + ", " + text(o.accessSql) + ", " + text(o.viewSql) + ", " +
                         quoteText(o.status) + ", " + text(o.reason) + ")",
                     trap);
    }
}

}  // namespace

QueryViewsResult writeQueryViews(ConversionHost& host, RunState& state) {
    ErrorTrap trap(host.ui(), QStringLiteral("Conversion"), QStringLiteral("WriteViews"));
    QueryViewsResult result;
    std::unique_ptr<Connection> access;
    std::vector<SavedQuery> queries;
    try {
        access = Connection::create();
        access->open(AccessConnectionString(QString(), QString(), host.fields()).toStdString());
        queries = readSavedQueries(*access->backend());
    } catch (const DbError& e) {
        result.unreadable = e.description();
        return result;
    }
    Relations relations(*access->backend(), queries, host.options().blobs);
    for (const SavedQuery& q : queries) relations.translate(q);

    ViewWriter writer(host, state);
    auto& outcomes = relations.outcomes();
    for (const std::string& key : relations.viewOrder()) {
        QueryOutcome& o = outcomes[key];
        // Views come after the views they read, whose fate is known by now.
        const auto& uses = relations.uses(key);
        const auto missing = std::find_if(uses.begin(), uses.end(),
                                          [&](const std::string& u) { return outcomes[u].status != "view created"; });
        if (missing != uses.end()) {
            o.status = "not created";
            o.reason = "it uses the query [" + outcomes[*missing].name + "], which has no view";
            continue;
        }
        if (!writer.claim(o.name, trap)) {
            o.status = "not created";
            o.reason = "a table, view or index of that name exists and was kept";
            continue;
        }
        const std::string refused = writer.createView(o.name, o.viewSql + ";");
        if (!refused.empty()) {
            o.status = "not created";
            o.reason = "SQLite refused the view: " + refused;
        }
    }
    for (const SavedQuery& q : queries) result.queries.push_back(outcomes[lower(q.name)]);
    writeQueryTable(writer, trap, result.queries);
    return result;
}

}  // namespace qb
