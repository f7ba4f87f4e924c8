#pragma once

#include <QString>

namespace quillivar {

// The folder that holds the program's data (pointer images, style sheet, samples): beside
// the executable in a build tree, <prefix>/share/quillivar in an installed tree. No
// trailing separator.
QString ApplicationFolder();

}  // namespace quillivar
