#include "ui/handset_follower.h"

#include <algorithm>

#include "platform/kernel/com_port.h"
#include "platform/kernel/comm.h"

namespace {

CString PortName(int portNumber) { return CString(platform::ComPortName(portNumber)); }

}  // namespace

void CHandsetFollower::Begin(int portNumber) {
  m_socket = platform::QueryPortLocation(PortName(portNumber));
  m_arrivals.clear();
}

bool CHandsetFollower::Takes(int portNumber) {
  if (!m_socket.IsEmpty()) return platform::QueryPortLocation(PortName(portNumber)) == m_socket;
  if (std::find(m_arrivals.begin(), m_arrivals.end(), portNumber) == m_arrivals.end()) {
    m_arrivals.push_back(portNumber);
  }
  return m_arrivals.size() == 1;
}

CString CHandsetFollower::Ambiguity() const {
  if (m_arrivals.size() < 2) return CString();
  CString ports = PortName(m_arrivals[0]);
  for (std::size_t i = 1; i < m_arrivals.size(); ++i) {
    ports += (i + 1 == m_arrivals.size() ? " and " : ", ") + PortName(m_arrivals[i]);
  }
  return ports + " arrived while the handset restarted, and no socket tells which one is this station's";
}
