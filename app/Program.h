// The program: the application, the main window and its three dialogs, the event loop.
#pragma once

#include <functional>

namespace tarvo {

class TFm_Main;

// Runs the program on its command line. beforeShow, when given, sees the main window once it
// and its dialogs exist, before it is first shown.
int RunProgram(int argc, char* argv[], const std::function<void(TFm_Main&)>& beforeShow = {});

}  // namespace tarvo
