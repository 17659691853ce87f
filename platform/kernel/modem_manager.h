// The system's modem manager, where one runs on the system bus: it opens every serial port
// that may be a modem and probes it with AT commands. A handset in its normal software is such
// a modem, and the manager's bytes would reach it in the middle of the download protocol, so a
// run asks it to leave the handset's device alone while it talks to it. Windows has no such
// service; these calls are ours.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/text.h"
#include "platform/kernel/types.h"

namespace platform {

// A client of the modem manager, made real by the window system's layer (platform/qt), which
// installs one at start-up; a program without one never asks.
class ModemManagerClient {
 public:
  virtual ~ModemManagerClient() = default;
  // The device uid of the managed modem one of whose ports is the device node named `node`
  // ("ttyACM0"); empty when no manager runs or none of its modems has that port.
  virtual std::string ModemWithPort(const std::string& node) = 0;
  // Asks the manager to leave the modem with `uid` alone; false, with the manager's answer in
  // `refusal`, when it will not.
  virtual bool Inhibit(const std::string& uid, std::string* refusal) = 0;
  // Gives the modem with `uid` back to the manager.
  virtual void Release(const std::string& uid) = 0;
};

void InstallModemManagerClient(std::unique_ptr<ModemManagerClient> client);

// The modems a run keeps the manager off, given back together when the run is done with them.
// The manager also gives them back itself when the program leaves the bus, so a crash leaves
// nothing inhibited.
class ModemInhibitions {
 public:
  ModemInhibitions() = default;
  ModemInhibitions(const ModemInhibitions&) = delete;
  ModemInhibitions& operator=(const ModemInhibitions&) = delete;
  ~ModemInhibitions() { ReleaseAll(); }

  // Keeps the manager off the device behind the port "COMn". Answers a sentence for the
  // operator when the manager refuses, which names what keeps it off for good; empty when the
  // device is kept, or nobody manages it.
  CString Inhibit(LPCSTR portName);
  void ReleaseAll();

 private:
  std::vector<std::string> m_uids;
};

}  // namespace platform
