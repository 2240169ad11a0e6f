// Files of the program that setup replaced while they were in use (a drop handler that a shell kept
// loaded): renamed aside into a folder beside the program, they go at the program's next start, once
// nothing holds them any more.
#pragma once

// Whatever is still in use stays, for a later start.
void RemoveReplacedFiles();
