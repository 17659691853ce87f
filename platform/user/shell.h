// Opening a document with the program the desktop has for it, as ShellExecute does.
#pragma once

#include "platform/kernel/types.h"

// What ShellExecute answers: more than 32 when the document was handed over.
constexpr INT_PTR SE_ERR_FNF = 2;
constexpr INT_PTR SE_ERR_NOASSOC = 31;

// Only the "open" verb, with no parameters: the document is handed to the desktop's opener.
INT_PTR ShellExecuteA(HWND window, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, int show);
