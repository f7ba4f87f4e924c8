#pragma once
// The engine's private LibreOffice profile: created on first use, and its settings written
// anew at every start, so nothing a document changed survives into the next run.

#include <string>

namespace quillivar::engine {

// Writes the profile's settings: first-start work done, no locking or recovery files, macros
// never run, links and fields never updated, no view decorations. Returns false with `error`.
bool SeedProfile(const std::string& profileFolder, const std::string& libreOfficeProgram,
                 std::string& error);

// The installed LibreOffice's version ("7.4", "25.2"), or empty when it cannot be told.
std::string InstalledVersion(const std::string& libreOfficeProgram);

// The language LibreOffice lays new pages out for, from the user's locale (LC_ALL, LC_PAPER,
// LANG); LibreOfficeKit would otherwise assume US Letter everywhere. The C locale gets A4, as
// LibreOffice itself gives it.
std::string LayoutLanguageTag();

}  // namespace quillivar::engine
