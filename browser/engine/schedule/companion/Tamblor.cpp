// tamblor: the helper a new web shortcut is handed to ("tamblor NewFile
// <file>") so that the user may rename it in place. The desktop's file
// manager renames files itself, so the helper only accepts the call: a
// missing or failing helper is what the program reports.
#include <cstring>

int main(int argc, char** argv) { return argc == 3 && std::strcmp(argv[1], "NewFile") == 0 ? 0 : 2; }
