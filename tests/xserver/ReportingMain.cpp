// The program as installed, plus the report of the window's state that the X server tests read.
#include "Program.h"
#include "StateReport.h"

int main(int argc, char* argv[]) { return tarvo::RunProgram(argc, argv, tarvo::StartStateReport); }
