#include "Main.h"

#include "AppConfig.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace qb {

namespace {
QString g_appFolderOverride;
QString g_appTitle;
}  // namespace

QString appFolder() {
    if (!g_appFolderOverride.isEmpty()) return g_appFolderOverride;
    return QCoreApplication::applicationDirPath();
}

void setAppFolderForTesting(const QString& folder) { g_appFolderOverride = folder; }

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

bool isNormalFile(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}

QString computeAppTitle(const QString& productName) {
    QString title = productName;
    do {
        const int cut = title.lastIndexOf(QLatin1Char(' '));
        if (cut < 0) break;
        title = title.left(cut);
    } while (title.size() > 40);
    return title;
}

void SetAppTitle() { g_appTitle = computeAppTitle(config::kProductName); }

QString appTitle() { return g_appTitle.isEmpty() ? computeAppTitle(config::kProductName) : g_appTitle; }

}  // namespace qb
