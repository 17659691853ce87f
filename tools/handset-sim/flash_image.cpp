#include "tools/handset-sim/flash_image.h"

#include <algorithm>
#include <fstream>

namespace handset_sim {

bool FlashImage::Erase(std::uint32_t start, std::uint32_t length) {
  const std::uint64_t end = std::uint64_t{start} + length;
  if (end > kCapacity) return false;
  GrowTo(end);
  std::fill(m_bytes.begin() + start, m_bytes.begin() + static_cast<std::ptrdiff_t>(end), 0xFF);
  return true;
}

bool FlashImage::Write(std::uint32_t offset, const std::uint8_t* data, std::size_t count) {
  const std::uint64_t end = std::uint64_t{offset} + count;
  if (end > kCapacity) return false;
  GrowTo(end);
  std::copy(data, data + count, m_bytes.begin() + offset);
  return true;
}

void FlashImage::GrowTo(std::uint64_t end) {
  if (end > m_bytes.size()) m_bytes.resize(end, 0xFF);
}

bool FlashImage::Dump(const std::string& path) const {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(m_bytes.data()), static_cast<std::streamsize>(m_bytes.size()));
  return static_cast<bool>(file.flush());
}

}  // namespace handset_sim
