#pragma once
// The program's run from start to end: the application object, start-up and
// its gate, the main window and the event loop. Returns the exit status, 0 on
// every path: an error during start-up ends in an error box, never in terminate.

int RunProgram(int &argc, char **argv);
