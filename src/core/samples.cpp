#include "samples.h"

#include "folderscan.h"
#include "paths.h"
#include "settings.h"

namespace quillivar {

QString EncodeSnapshot(const QString& plainList) {
    return QString::fromLatin1(plainList.toUtf8().toBase64());
}

QString DecodeSnapshot(const QString& encoded) {
    return QString::fromUtf8(QByteArray::fromBase64(encoded.toLatin1()));
}

QString SamplesFolder(const QString& applicationFolder) {
    return applicationFolder + kNativeSeparator + QStringLiteral("Samples");
}

void RecordSampleFiles(const QString& applicationFolder, SettingsStore& settings) {
    const QString folder = SamplesFolder(applicationFolder);
    QStringList paths;
    for (const QString& name : ListFolderFiles(folder, QStringLiteral("*.*"))) {
        paths << folder + kNativeSeparator + name;
    }
    settings.SaveSetting(keys::kSnapshot, EncodeSnapshot(paths.join(QLatin1Char('|'))));
}

QStringList RecordedSampleFiles(const SettingsStore& settings) {
    return DecodeSnapshot(settings.GetSetting(keys::kSnapshot, QStringLiteral("False"))).split(QLatin1Char('|'));
}

}  // namespace quillivar
