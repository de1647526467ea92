// Runs pieces of the data-access layer in a process of its own, so that tests
// can give it an environment of its own (an empty driver list, a plain "C"
// locale) before the driver manager is loaded. Prints what it saw, one item
// per line, texts in base64.
//
//   qb_odbc_probe provider yes|no     CheckProvider with a scripted answer
//   qb_odbc_probe roundtrip <dir>     non-ASCII names and values through ODBC

#include "ScriptedInteraction.h"
#include "dbaccess/Connection.h"
#include "dbaccess/ODBCProvider.h"
#include "dbaccess/OdbcBackend.h"
#include "dbaccess/SQLite.h"

#include <QByteArray>
#include <QString>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>

namespace {

void print(const char* tag, const std::string& text) {
    std::printf("%s %s\n", tag, QByteArray::fromStdString(text).toBase64().constData());
}

int provider(bool answerYes) {
    qb::test::ScriptedInteraction ui;
    ui.answers.push_back(answerYes ? qb::MsgResult::Yes : qb::MsgResult::No);
    const bool result = qb::CheckProvider(ui);
    std::printf("RESULT %d\n", result ? 1 : 0);
    for (const auto& m : ui.messages) {
        print("MESSAGE", m.text.toStdString());
        std::printf("BUTTONS %s\n", m.buttons == qb::MsgButtons::YesNo ? "yesno" : "ok");
    }
    for (const QString& url : ui.urls) print("URL", url.toStdString());
    return 0;
}

// The names and values are chosen to need several bytes per character in
// UTF-8, and to be unrepresentable in ASCII.
int roundtrip(const std::string& dir) {
    std::setlocale(LC_ALL, "");
    std::printf("CODESET %s\n", nl_langinfo(CODESET));
    const std::string path = dir + "/Daten \xc3\xbc\xe2\x82\xac.db";   // "Daten ü€.db"
    const std::string table = "T\xc3\xa4" "belle_\xe6\x97\xa5";        // "Täbelle_日"
    const std::string value = "Gr\xc3\xbc\xc3\x9f" "e \xe2\x82\xac \xf0\x9f\x98\x80";  // "Grüße € 😀"
    try {
        auto connection = qb::Connection::create();
        connection->open(qb::SQLiteConnectionString(QString::fromStdString(path)).toStdString());
        connection->execute("CREATE TABLE \"" + table + "\" (v TEXT)");
        connection->execute("INSERT INTO \"" + table + "\" VALUES ('" + value + "')");
        auto* odbc = dynamic_cast<qb::OdbcBackend*>(connection->backend());
        auto insert = odbc->prepare("INSERT INTO \"" + table + "\" VALUES (?)");
        odbc->bindAndExecute(*insert, {value});
        auto schema = connection->openSchema(qb::adSchemaTables);
        for (; !schema->eof(); schema->moveNext())
            print("TABLE", std::get<std::string>(schema->field("TABLE_NAME").value()));
        qb::Recordset rows;
        rows.open("SELECT v FROM \"" + table + "\"", *connection);
        for (; !rows.eof(); rows.moveNext()) print("VALUE", std::get<std::string>(rows.field(0).value()));
        connection->close();
        print("PATH", path);
    } catch (const std::exception& e) {
        print("ERROR", e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "provider") == 0) return provider(std::strcmp(argv[2], "yes") == 0);
    if (argc == 3 && std::strcmp(argv[1], "roundtrip") == 0) return roundtrip(argv[2]);
    std::fprintf(stderr, "usage: qb_odbc_probe provider yes|no | roundtrip <dir>\n");
    return 2;
}
