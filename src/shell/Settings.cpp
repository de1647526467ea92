#include "Settings.h"

#include "core/AppConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace qb::settings {

namespace {

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QSettings openStore() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, config::kSettingsApplication,
                     config::kSettingsApplication);
}

QString keyPath(const QString& key) { return config::kSettingsSection + QLatin1Char('/') + key; }

// The store is written through a temporary file that takes over the
// permissions of the file it replaces; creating that file owner-only before
// the first write means the password is never readable by others, not even
// for a moment.
void prepareOwnerOnlyFile(const QString& fileName) {
    const QFileInfo info(fileName);
    QDir dir = info.absoluteDir();
    if (!dir.exists()) {
        QDir().mkpath(dir.absolutePath());
        QFile::setPermissions(dir.absolutePath(), kOwnerOnly | QFile::ExeOwner);
    }
    if (!info.exists()) {
        QFile file(fileName);
        if (file.open(QIODevice::WriteOnly, kOwnerOnly)) file.close();
    }
}

[[noreturn]] void typeMismatch() { throw std::runtime_error("Type mismatch"); }

bool parseNumber(const QString& text, double& value) {
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

}  // namespace

QString storeFileName() { return openStore().fileName(); }

QString read(const QString& key, const QString& defaultValue) {
    QSettings store = openStore();
    const QVariant value = store.value(keyPath(key));
    if (!value.isValid()) return defaultValue;
    return value.toString();
}

void save(const QString& key, const QString& text) {
    QSettings store = openStore();
    prepareOwnerOnlyFile(store.fileName());
    store.setValue(keyPath(key), text);
    store.sync();
    QFile::setPermissions(store.fileName(), kOwnerOnly);
}

int toInteger(const QString& text) {
    double number = 0;
    if (!parseNumber(text, number)) typeMismatch();
    const double rounded = std::nearbyint(number);  // default rounding mode: half to even
    if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
        throw std::runtime_error("Overflow");
    return static_cast<int>(rounded);
}

bool toBoolean(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    double number = 0;
    if (!parseNumber(word, number)) typeMismatch();
    return number != 0;
}

QString booleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

}  // namespace qb::settings
