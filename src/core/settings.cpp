#include "settings.h"

#include "errortrap.h"
#include "texts.h"

#include <QFile>
#include <QSettings>

#include <limits>

namespace quillivar {

SettingsStore::SettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            kSettingsOrganisation, kSettingsApplication)) {
    SetAsideIfCorrupt();
}

SettingsStore::SettingsStore(const QString& fileName)
    : settings_(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
    SetAsideIfCorrupt();
}

void SettingsStore::SetAsideIfCorrupt() {
    // A store that cannot be parsed would never be written again, so every later choice would
    // be lost: it is kept beside under another name, and a fresh one takes its place.
    settings_->allKeys();  // reads the file, and so finds out whether it can be read
    if (settings_->status() != QSettings::FormatError) return;
    const QString fileName = settings_->fileName();
    settings_.reset();
    QFile::remove(fileName + QStringLiteral(".corrupt"));
    QFile::rename(fileName, fileName + QStringLiteral(".corrupt"));
    settings_ = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::GetSetting(const QString& key, const QString& defaultValue) const {
    settings_->sync();  // another copy of the program may have written since
    const QVariant value = settings_->value(key);
    return value.isValid() ? value.toString() : defaultValue;
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
    settings_->setValue(key, value);
    settings_->sync();
    if (settings_->status() != QSettings::NoError) {
        throw Failure(texts::settings::kCannotSave.arg(settings_->fileName()));
    }
}

QString SettingsStore::fileName() const { return settings_->fileName(); }

int ToInt32(const QString& text) {
    bool number = false;
    const qlonglong value = text.trimmed().toLongLong(&number);
    if (!number) throw Failure(texts::settings::kTypeMismatch);
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        throw Failure(texts::settings::kOverflow);
    }
    return static_cast<int>(value);
}

bool ToTruth(const QString& text) {
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
    if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
    bool number = false;
    const double value = word.toDouble(&number);
    if (!number) throw Failure(texts::settings::kTypeMismatch);
    return value != 0;
}

QString TruthText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

}  // namespace quillivar
