#pragma once
// The program entry's work: the application, the main window, the two
// dialogs, the message loop.
int runApplication(int argc, char *argv[]);

// The compiled-in bitmaps; tests that build windows call it too.
void initUiResources();
