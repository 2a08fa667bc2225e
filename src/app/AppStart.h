#pragma once

class QObject;

// The program's start: the application object with its icon and desktop
// name, then the first home screen. The program and its start-up benchmark
// both run this, so that the benchmark times what a user waits for.
// `watcher`, when given, sees every event of the application from before the
// home screen is built. Returns the program's exit status.
int runDialer(int& argc, char** argv, QObject* watcher = nullptr);
