// The drop handler's word that a hand-off may follow: the shell shows the menu, and a person takes
// a moment to choose, in which the resident program can start its plug-in hosts.
#pragma once

// Posts the warm-up message to the resident program's window, if one runs; never waits.
void AskToWarmUp() noexcept;
