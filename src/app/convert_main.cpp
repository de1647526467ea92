// quellbrook-convert: the conversion from the command line.
#include "cli/CliConverter.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    // Before anything opens a file that could take a closed stream's place.
    if (!qb::cli::holdStandardStreams()) return 2;
    QCoreApplication app(argc, argv);
    return qb::cli::runConverter(QCoreApplication::arguments().mid(1));
}
