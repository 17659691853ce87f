// What happens on the line during a run, as it happens, for those who follow it closely (a
// station's script): each request of the sequence, each block once the handset has confirmed it
// or the run went on without that, each resend, silence and reconnection, the restart into
// download mode and the port followed after it.
#pragma once

#include <cstdint>

#include "platform/kernel/types.h"

struct RunEvent {
  enum class Kind { Request, Block, Resend, Silence, Reconnection, ModeChange, PortFollowed };
  Kind kind = Kind::Request;
  const char* request = "";       // Request: "hello", "copy", "baud", "reset", "erase", "final reset"
  int area = 0;                   // the area of the image, from 0 (a boot+code image has two)
  int block = 0;                  // Block: its index in the area
  DWORD address = 0;              // Block: where the operator is shown it goes
  bool confirmed = false;         // Block: the handset's ACK confirmed it
  std::uint32_t roundTripUs = 0;  // Block: of that ACK
  BYTE nakCode = 0;               // Resend: the refusal it answers; 0 after silence
  int portNumber = 0;             // PortFollowed
};
