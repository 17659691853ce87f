// The names udev gives a serial device a moment after the kernel has made its node:
// <devDir>/serial/by-id/<byId> (the device's USB identity) and <devDir>/serial/by-path/<byPath>
// (the socket it is plugged into), each the relative link "../../<node>" as udev makes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace handset_sim {

class UdevNames {
 public:
  // Makes the folders as needed; an empty name is not made. On failure answers null, says why
  // in `error` and leaves no name behind.
  static std::unique_ptr<UdevNames> Publish(const std::string& devDir, const std::string& node, const std::string& byId,
                                            const std::string& byPath, std::string* error);
  // Removes the names that still lead to the node, as udev does before the node goes.
  ~UdevNames();
  UdevNames(const UdevNames&) = delete;
  UdevNames& operator=(const UdevNames&) = delete;

  const std::vector<std::string>& LinkPaths() const { return m_links; }

 private:
  explicit UdevNames(std::string target) : m_target(std::move(target)) {}

  std::string m_target;
  std::vector<std::string> m_links;
};

}  // namespace handset_sim
