#ifndef BRIXHOLD_LAUNCHER_LAUNCHER_H
#define BRIXHOLD_LAUNCHER_LAUNCHER_H

// One run of the launcher: finds its own directory, checks that BRIXHOLD.INF is there
// and starts SETUP.EXE detached in that directory. Returns the exit status: 0 once the
// setup program has started, 1 after printing the failure to standard output.
int RunLauncher();

#endif
