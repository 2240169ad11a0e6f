// Test helper: the sending half in a process of its own.
//   handoff_send FOLDER [PATH...]
#include <string>
#include <vector>

#include "handoff/Sender.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::vector<std::string> paths(argv + 2, argv + argc);
    SendHandOff(argv[1], paths);
    return 0;
}
