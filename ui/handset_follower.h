// Which port that arrives while a station's handset restarts into download mode is that
// handset. Stations side by side see each other's ports come and go; the socket a handset is
// plugged into stays the same whatever identity it restarts with, so a station takes the port
// that arrives in its handset's socket. Where the system names no socket, it takes an arrival
// only when it is the only one, and otherwise says it cannot tell instead of guessing.
#pragma once

#include <vector>

#include "platform/kernel/text.h"

class CHandsetFollower {
 public:
  // The handset is on COM `portNumber` and about to restart.
  void Begin(int portNumber);
  // COM `portNumber` arrived: true when it is to be taken as the handset's port.
  bool Takes(int portNumber);
  // Why the station cannot tell its handset's port; empty when it can.
  CString Ambiguity() const;
  // The system names the socket the handset is plugged into: an arrival elsewhere is no doubt.
  bool KnowsSocket() const { return !m_socket.IsEmpty(); }

 private:
  CString m_socket;  // empty: the system names none
  std::vector<int> m_arrivals;
};
