#include "ODBCProvider.h"

#include "Connection.h"
#include "core/AppConfig.h"

namespace qb {

QString providerAdviceText() {
    const QString gap = QStringLiteral("\r\n\r\n");
    return QStringLiteral("Error #3706: Provider cannot be found. It may not be properly installed.") + gap +
           QStringLiteral("You are getting this error because:") + gap +
           QStringLiteral("1. Microsoft Access is not installed on your computer.") + gap +
           QStringLiteral("2. A set of Microsoft components to transfer data is not installed on your computer.") +
           gap +
           QStringLiteral("You need to download and install Microsoft Access Database Engine 2010 or 2016 to "
                          "solve this problem.") +
           gap + QStringLiteral("Would you like me to open the Microsoft site now so you can do this?") + gap +
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
    // A page that cannot be opened is no reason to stop, nor to skip the other.
    for (const QString& page : {config::kEngine2010Download, config::kEngine2016Download}) {
        try {
            ui.openUrl(page);
        } catch (...) {
        }
    }
    return false;
}

}  // namespace qb
