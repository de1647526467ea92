// quellbrook-convert: the conversion from the command line.
#include "cli/CliConverter.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return qb::cli::runConverter(QCoreApplication::arguments().mid(1));
}
