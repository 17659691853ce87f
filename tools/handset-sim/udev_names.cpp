#include "tools/handset-sim/udev_names.h"

#include <utility>

#include "tools/handset-sim/links.h"

namespace handset_sim {

std::unique_ptr<UdevNames> UdevNames::Publish(const std::string& devDir, const std::string& node,
                                              const std::string& byId, const std::string& byPath, std::string* error) {
  std::unique_ptr<UdevNames> names(new UdevNames("../../" + node));
  for (const auto& [folder, name] : {std::pair{"by-id", byId}, std::pair{"by-path", byPath}}) {
    if (name.empty()) continue;
    const std::string link = devDir + "/serial/" + folder + "/" + name;
    if (!PublishLink(names->m_target, link, error)) return nullptr;
    names->m_links.push_back(link);
  }
  return names;
}

UdevNames::~UdevNames() {
  for (const std::string& link : m_links) RemoveLinkIfOurs(link, m_target);
}

}  // namespace handset_sim
