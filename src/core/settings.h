#pragma once
// The settings store: plain text values under fixed keys, in an INI file per user
// (organisation "Tarvelin", application "Quillivar"), written and synced at every change.

#include <QString>

#include <memory>

class QSettings;

namespace quillivar {

// Where the user's store lives: ~/.config/<organisation>/<application>.ini
inline const QString kSettingsOrganisation = QStringLiteral("Tarvelin");
inline const QString kSettingsApplication = QStringLiteral("Quillivar");

namespace keys {
inline const QString kSlider1 = QStringLiteral("Slider1");
inline const QString kText1 = QStringLiteral("Text1");
inline const QString kOption1 = QStringLiteral("Option1");
inline const QString kOption2 = QStringLiteral("Option2");
inline const QString kLastFolderDot = QStringLiteral("LastFolderDot");
inline const QString kLastFolder = QStringLiteral("LastFolder");
inline const QString kExtension = QStringLiteral("Extension");
inline const QString kSnapshot = QStringLiteral("Snapshot");
inline const QString kResolution = QStringLiteral("Resolution");
}  // namespace keys

class SettingsStore {
public:
    // The user's own store, or the INI file at `fileName`.
    SettingsStore();
    explicit SettingsStore(const QString& fileName);
    virtual ~SettingsStore();

    // The stored text, or `defaultValue` when the key is absent.
    QString GetSetting(const QString& key, const QString& defaultValue) const;
    // Stores at once; throws Failure when the store cannot be written.
    virtual void SaveSetting(const QString& key, const QString& value);

    QString fileName() const;

private:
    void SetAsideIfCorrupt();

    std::unique_ptr<QSettings> settings_;
};

// Conversions of stored texts; both throw Failure for a text they cannot convert.
int ToInt32(const QString& text);
bool ToTruth(const QString& text);  // "True"/"False" in any case, or a number (0 is false)
QString TruthText(bool value);       // "True" or "False"

}  // namespace quillivar
