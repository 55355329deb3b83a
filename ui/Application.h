#pragma once
// The program entry's work: the application, the main window, the two
// dialogs, the message loop.
int RunApplication(int argc, char *argv[]);
