// Starting the window system: the one entry point the program and the tests call.
#pragma once

namespace platform::qt {

// Creates the application object if there is none yet and installs the dialogs, the real
// message boxes, the message pump, the keyboard and mouse hooks of the windows, and the
// modem manager's client.
void StartUi(int& argc, char** argv);
// Runs the program's application object: its InitApplication with the command line, StartUi,
// its InitInstance, and answers its ExitInstance's code.
int RunApplication(int argc, char** argv);

}  // namespace platform::qt
