#pragma once
// QProcess and friends want an application object. Tests without windows
// make one on first need; it lives until the process ends, so that no test
// depends on another having made it first.

#include <QCoreApplication>

namespace qb::test {

inline void ensureCoreApplication() {
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) static QCoreApplication app(argc, argv);
}

}  // namespace qb::test
