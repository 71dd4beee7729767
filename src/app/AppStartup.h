#pragma once

// The whole life of the process: identity, edition, worker dispatch, splash,
// the main window and the event loop. Returns the process exit code.
int runApplication(int& argc, char** argv);
