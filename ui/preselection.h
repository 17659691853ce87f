// What the window and a station both do with the choices given on the command line.
#pragma once

#include <string>

#include "platform/kernel/text.h"

// Told when a file chosen as an image is none.
inline constexpr char kNotAnImage[] = "다운로드용 파일이 아닙니다.";

// The file made absolute in `path`, if its name ends in ".bin" in any case, as the open-file
// dialog lets through; false otherwise.
bool TakeImagePath(const std::string& given, CString* path);

// The log's note that the handset on COM `portNumber` is the bundled simulator.
CString DemoNote(int portNumber);
