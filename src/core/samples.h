#pragma once
// The sample documents delivered with the program: recorded once, at the first start that
// finds them, and loaded into the list on request.

#include <QString>
#include <QStringList>

namespace quillivar {

class SettingsStore;

// The record's text form: base64 of the UTF-8 list, the empty list as the empty text.
QString EncodeSnapshot(const QString& plainList);
QString DecodeSnapshot(const QString& encoded);

// The samples folder of the application folder.
QString SamplesFolder(const QString& applicationFolder);

// Writes "Snapshot": the full paths of the files now in the samples folder, joined by "|".
void RecordSampleFiles(const QString& applicationFolder, SettingsStore& settings);

// The recorded paths, empty pieces kept; nothing that exists when no record was made.
QStringList RecordedSampleFiles(const SettingsStore& settings);

}  // namespace quillivar
