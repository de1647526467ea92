#include "MainWindowHost.h"
#include "preview/PreviewWindows.h"
#include "shell/Appearance.h"
#include "shell/Form1.h"
#include "shell/GuiInteraction.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(qb::appIcon());

    qb::GuiInteraction ui;
    qb::QtFileChooser files;
    qb::Form1 form(ui, files);
    files.setParent(&form);
    qb::PreviewWindows previews(ui);
    qb::MainWindowHost host(form, previews);
    host.install();
    if (!form.formLoad()) return 0;
    form.openStartFiles(QApplication::arguments().mid(1));
    form.show();
    return app.exec();
}
