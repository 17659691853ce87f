// The program's one application object; the framework finds it and runs it.
#include "ui/downloader_app.h"

CDownloaderApp theApp;
