#pragma once

#include <QtGlobal>

// Store page to desktop icon: the demo program 记账本 installed from the app
// centre's store page with an installer of `bytes` bytes, `runs` times, in
// this process (the real desktop and app-centre windows, the real web
// engine, the reference service over loopback, the installer really run
// for a user folder of its own). Prints each run and the median of each
// part. Returns the process exit code.
int runInstallJourney(int runs, qint64 bytes);
