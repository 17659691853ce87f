// flashgate --list-ports: the ports of this machine with what is known of each, for a technician
// to read or, with --json, for a script.
#pragma once

#include <cstdio>
#include <vector>

#include "platform/kernel/comm.h"

// One port a paragraph: "COM3  /dev/ttyACM0" and its names and holders beneath.
void PrintPorts(const std::vector<platform::PortDescription>& ports, std::FILE* out);
// One JSON object a line, each with "v": 1.
void PrintPortsJson(const std::vector<platform::PortDescription>& ports, std::FILE* out);
