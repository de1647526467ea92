#pragma once
// The common error report that guards every window load and button handler.
// A guarded procedure runs each numbered statement through its trap; a
// failing statement is reported ("Application Error", its location and line
// number) and the procedure goes on with the next one. A failing condition
// counts as passed, so the statements it guards still run.

#include "Interaction.h"

#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace qb {

// The text of the report, without the box.
QString errorReportText(const QString& description, const QString& location, int line);

// "in Quellbrook2021/08/31.<object>.<procedure> "
QString errorLocation(const QString& object, const QString& procedure);

// The description of whatever was thrown (DbError, std::exception, other).
QString describeException(std::exception_ptr error);

class ErrorTrap {
public:
    ErrorTrap(Interaction& ui, const QString& object, const QString& procedure)
        : ui_(ui), location_(errorLocation(object, procedure)) {}

    int reports() const { return reports_; }

    // Runs one numbered statement.
    template <class F>
    void run(int line, F&& statement) {
        line_ = line;
        try {
            std::forward<F>(statement)();
        } catch (...) {
            report(std::current_exception());
        }
    }

    // Runs a numbered condition; a failure counts as true.
    template <class F>
    bool test(int line, F&& condition) {
        line_ = line;
        try {
            return static_cast<bool>(std::forward<F>(condition)());
        } catch (...) {
            report(std::current_exception());
            return true;
        }
    }

    // Shows the report for the current line.
    void report(std::exception_ptr error);
    void report(const QString& description);

    // Sees each description before its report is shown: a caller that must
    // act on one kind of failure afterwards notes it here.
    std::function<void(const QString& description)> onReport;

private:
    Interaction& ui_;
    QString location_;
    int line_ = 0;
    int reports_ = 0;
};

}  // namespace qb
