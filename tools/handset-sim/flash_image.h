// The handset's flash as the download program leaves it: erased bytes read 0xFF, and the
// image grows as far as the highest byte erased or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace handset_sim {

class FlashImage {
 public:
  // No handset has more; a request beyond it is refused rather than allocated.
  static constexpr std::uint64_t kCapacity = 64u << 20;

  // False, and nothing changed, when the range does not fit the capacity.
  bool Erase(std::uint32_t start, std::uint32_t length);
  bool Write(std::uint32_t offset, const std::uint8_t* data, std::size_t count);

  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
  bool Dump(const std::string& path) const;

 private:
  void GrowTo(std::uint64_t end);

  std::vector<std::uint8_t> m_bytes;
};

}  // namespace handset_sim
