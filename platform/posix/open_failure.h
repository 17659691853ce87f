// Why a serial device could not be opened, told so that the operator can act on it: a missing
// permission names the group that has it, a device in use names the program that holds it.
#pragma once

#include <string>
#include <vector>

namespace platform::posix {

// Kept per thread by the last failed open of a serial device; an open that succeeds clears it.
void NoteOpenFailure(const std::string& path, int error);
void ClearOpenFailure();
// A sentence about the last failed open on this thread, naming it `portName`; empty when
// there is nothing to add to "it could not be opened".
std::string DescribeLastOpenFailure(const std::string& portName);

std::string ExplainOpenFailure(const std::string& portName, const std::string& device, int error);

struct Holder {
  int pid;
  std::string name;  // as /proc names the process
};

// The processes that have `device` open: those whose descriptors this user may see in /proc,
// but for the one numbered `exceptPid`.
std::vector<Holder> ProcessesHolding(const std::string& device, int exceptPid = 0);
// "NAME (DEVICE) is held by HOLDERS" when processes other than this one have the device open;
// empty otherwise.
std::string DescribeHolders(const std::string& portName, const std::string& device);

}  // namespace platform::posix
