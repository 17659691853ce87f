// The program's entry point: the application object does the rest.
#include "platform/qt/qt_app.h"

int main(int argc, char** argv) { return platform::qt::RunApplication(argc, argv); }
