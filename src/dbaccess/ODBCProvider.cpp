#include "ODBCProvider.h"

#include "Connection.h"
#include "core/AppConfig.h"

namespace qb {

// What is missing on this platform is the ODBC driver every SQLite
// connection goes through, so the advice names it and how to install it.
QString providerAdviceText() {
    const QString gap = QStringLiteral("\r\n\r\n");
    return QStringLiteral("Error #3706: Provider cannot be found. It may not be properly installed.") + gap +
           QStringLiteral("You are getting this error because the \"SQLite3 ODBC Driver\", through which ") +
           config::kProductName +
           QStringLiteral(" writes SQLite files, is not registered with the ODBC driver manager on this computer.") +
           gap +
           QStringLiteral("To solve this problem, install the driver and the driver manager "
                          "(apt-get install libsqliteodbc unixodbc) and register the driver under the name "
                          "\"SQLite3 ODBC Driver\". The setup script that comes with ") +
           config::kProductName + QStringLiteral(" (scripts/setup, run as root) does both.") + gap +
           QStringLiteral("Would you like me to open the setup instructions now?") + gap +
           QStringLiteral("(If you have any further questions please email a screenshot of this error message to ") +
           config::kSupportEmail + QStringLiteral(")");
}

bool CheckProvider(Interaction& ui) {
    long number = 0;
    QString description;
    try {
        auto connection = Connection::create();
        return true;
    } catch (const DbError& e) {
        number = e.number();
        description = QString::fromStdString(e.description());
    } catch (const std::exception& e) {
        description = QString::fromStdString(e.what());
    } catch (...) {
        return false;
    }
    const bool providerMissing = number == errnum::ProviderNotFound ||
                                 description.contains(QStringLiteral("provider cannot be found"), Qt::CaseInsensitive);
    if (!providerMissing) return false;
    try {
        if (askYesNo(ui, providerAdviceText()) != MsgResult::Yes) return false;
    } catch (...) {
        return false;
    }
    // A page that cannot be opened changes nothing: the program ends either way.
    try {
        ui.openUrl(config::kSetupInstructionsPage);
    } catch (...) {
    }
    return false;
}

}  // namespace qb
