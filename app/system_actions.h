// The desktop-composition flag and the confirmed shutdown, on the main thread.
#pragma once

namespace tavrin {

// Whether desktop composition is on now (DwmIsCompositionEnabled).
bool QueryCompositionEnabled();
// Asks "Are you sure to shutdown Windows?" with Cancel as the default
// answer; true only for OK.
bool AskToShutDown();
// Brings the open question to the front.
void BringShutdownQuestionForward();
// Shuts Windows down, letting programs save or ask first; false when it
// could not (no privilege, or Windows refused).
bool ShutDownWindows();

}  // namespace tavrin
