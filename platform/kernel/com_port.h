// The names of serial ports as the technician knows them, COM1 to COM255: one formatter and
// one parser, for every place that shows, stores or reads a port's name.
#pragma once

#include <string>

namespace platform {

// "COM7" for 7.
std::string ComPortName(unsigned number);
// The number of "COMn" (in any case), 1 to 255, written without leading zeros; 0 for any other
// name ("COM", "COM0", "COM07", "COM256", "COM7x", "USB").
unsigned ComPortNumber(const std::string& name);

}  // namespace platform
