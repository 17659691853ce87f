#include "download/download_type.h"

#include <algorithm>

#include "download/download_run.h"

namespace {

template <typename Matches>
const DownloadType* Find(Matches matches) {
  const std::vector<DownloadType>& types = DownloadTypes();
  const auto found = std::find_if(types.begin(), types.end(), matches);
  return found == types.end() ? nullptr : &*found;
}

}  // namespace

const std::vector<DownloadType>& DownloadTypes() {
  static const std::vector<DownloadType> types = {
      {"EMERGENCY", "emergency", "EMERGENCY", 0, false, &CDownloadRun::StartEmergencyDownload},
      {"NORMAL", "normal", "NORMAL", 1, true, &CDownloadRun::StartNormalDownload},
  };
  return types;
}

const DownloadType* DownloadTypeAt(int comboIndex) {
  const std::vector<DownloadType>& types = DownloadTypes();
  return comboIndex >= 0 && static_cast<std::size_t>(comboIndex) < types.size() ? &types[comboIndex] : nullptr;
}

const DownloadType* DownloadTypeStoredAs(int value) {
  return Find([value](const DownloadType& type) { return type.storedValue == value; });
}

const DownloadType* DownloadTypeNamed(const std::string& commandWord) {
  return Find([&commandWord](const DownloadType& type) { return commandWord == type.commandWord; });
}

int ComboIndexOf(const DownloadType* type) { return type ? static_cast<int>(type - DownloadTypes().data()) : -1; }
