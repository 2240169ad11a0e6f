// Test helper: the sending half in a process of its own (handoff_send64.exe: as the 64-bit shell
// runs it).
//   handoff_send FOLDER [PATH...]
//   handoff_send FOLDER @LIST     (the paths one per line in the file LIST: more than a command line holds)
#include <fstream>
#include <string>
#include <vector>

#include "handoff/Sender.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::vector<std::string> paths(argv + 2, argv + argc);
    if (paths.size() == 1 && paths[0].starts_with("@")) {
        std::ifstream list(paths[0].substr(1), std::ios::binary);
        if (!list)
            return 2;
        paths.clear();
        for (std::string path; std::getline(list, path);)
            paths.push_back(path);
    }
    SendHandOff(argv[1], paths);
    return 0;
}
