# Sourced by the benchmarks that start Kelvane.exe (with root set): the program keeps its queue on
# disk, so each run starts from an empty one and leaves none, and the jobs of a run that was
# interrupted never run in the next.
forget_kept_queue() { rm -f "$root/build/wineprefix/drive_c/users/$(id -un)/AppData/Local/Kelvane/queue.dat"*; }
