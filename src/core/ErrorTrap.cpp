#include "ErrorTrap.h"

#include "AppConfig.h"
#include "DbError.h"

#include <stdexcept>

namespace qb {

QString errorLocation(const QString& object, const QString& procedure) {
    return QStringLiteral("in ") + config::kProductName + config::kBuildDate + QLatin1Char('.') + object +
           QLatin1Char('.') + procedure + QLatin1Char(' ');
}

QString errorReportText(const QString& description, const QString& location, int line) {
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(line) +
           QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ") +
           config::kSupportEmail;
}

QString describeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const DbError& e) {
        return QString::fromStdString(e.description());
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unexpected error");
    }
}

void ErrorTrap::report(std::exception_ptr error) { report(describeException(error)); }

void ErrorTrap::report(const QString& description) {
    ++reports_;
    if (onReport) onReport(description);
    ui_.message(errorReportText(description, location_, line_), QStringLiteral("Application Error"), MsgButtons::Ok,
                MsgIcon::Warning);
}

}  // namespace qb
