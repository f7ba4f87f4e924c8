#pragma once
// The engine parent: LibreOffice prepared once (lok_preinit_2), and a ready engine forked from
// it whenever the core asks, which costs a fraction of a cold start and shares the prepared
// memory. See engineprotocol.h for its messages.

#include <string>

namespace quillivar::engine {

// Serves one engine on `socket` with LibreOffice from `libreOfficeProgram`; never returns.
using ServeEngine = void (*)(int socket, const std::string& libreOfficeProgram, const std::string& profileFolder,
                             bool drawAhead, bool forked);

// Prepares LibreOffice with the settings seeded in `profileFolder`, read-only, then answers the
// core on `control` until it hangs up; each forked engine runs `serve` with a profile and a
// temporary folder of its own under `childrenFolder`. Returns the exit status; the engines it
// forked end with it.
int RunParent(int control, const std::string& libreOfficeProgram, const std::string& profileFolder,
              const std::string& childrenFolder, ServeEngine serve);

}  // namespace quillivar::engine
