// The installed program.
#include "Program.h"

int main(int argc, char* argv[]) { return tarvo::RunProgram(argc, argv); }
