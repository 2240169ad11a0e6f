// What the program keeps on the disk for the user, removed when the user uninstalls it: the queue and
// the record in the user's data folder, the folder for copies under ProgramData, and the temporaries
// that ended hosts left anywhere. The one rule for it: only plain folders (never through a link to
// elsewhere) that the user owns, and in them only the names that the program makes.
#pragma once

// True when nothing of it is left; false when something stays: a folder refused, a name that is not
// ours, a file still in use.
bool RemoveUserData();
