// Why a serial device could not be opened, told so that the operator can act on it: a missing
// permission names the group that has it, a device in use names the program that holds it.
#pragma once

#include <string>

namespace platform::posix {

// Kept per thread by the last failed open of a serial device; an open that succeeds clears it.
void NoteOpenFailure(const std::string& path, int error);
void ClearOpenFailure();
// A sentence about the last failed open on this thread, naming it `portName`; empty when
// there is nothing to add to "it could not be opened".
std::string DescribeLastOpenFailure(const std::string& portName);

std::string ExplainOpenFailure(const std::string& portName, const std::string& device, int error);

}  // namespace platform::posix
