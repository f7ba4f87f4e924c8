#pragma once
// Can documents be converted here, and is the user's own LibreOffice running?

namespace quillivar {

class EngineLauncher;

// Starts an engine and ends it again; false when none can be started.
bool CanStartEngine(const EngineLauncher& launcher);

// True when a LibreOffice process of this user is running (our own engines are not
// LibreOffice processes: they load it as a library).
bool IsWordRunning();

}  // namespace quillivar
