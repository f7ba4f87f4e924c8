#pragma once

namespace quillivar {

// Lets the window system process pending events, so the window repaints and stays live
// during long work. Does nothing off the main thread or without an application object.
void YieldToWindowSystem();

}  // namespace quillivar
