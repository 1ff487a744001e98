// What the window shows, printed to standard output whenever it changes, for the tests that
// drive the program from outside through a real X server.
#pragma once

namespace tarvo {

class TFm_Main;

// Starts the report on standard output. Each line holds tab-separated name=value fields, e.g.
// "rate=100.0%\tstatus=…".
void StartStateReport(TFm_Main& window);

}  // namespace tarvo
