// What happens in a few folders, in the order it happens, as inotify reports it: "+name" when
// a name appears there (made, or moved in), "-name" when it goes. Hidden names, the
// temporaries of links being replaced, are left out.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace handset_sim_test {

class FolderWatch {
 public:
  // Each folder with the prefix its names get: {{"", dev}, {"by-id/", dev + "/serial/by-id"}}.
  explicit FolderWatch(const std::vector<std::pair<std::string, std::string>>& folders);
  ~FolderWatch();
  FolderWatch(const FolderWatch&) = delete;
  FolderWatch& operator=(const FolderWatch&) = delete;

  // The next `count` changes, waiting at most timeoutMs for them; fewer when they do not come.
  std::vector<std::string> Next(std::size_t count, int timeoutMs = 3000);

 private:
  void ReadEvents();

  int m_fd = -1;
  std::vector<std::pair<int, std::string>> m_prefixes;  // watch descriptor, prefix
  std::vector<std::string> m_changes;
};

}  // namespace handset_sim_test
