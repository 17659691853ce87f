// flashgate-sample-images: writes the sample images the demo offers, into a folder:
//   PHONE_CODE.bin       a code image of one area
//   PHONE_BOOT_CODE.bin  a boot area followed by a code area (Change Boot Area decides)
//   PHONE_FONT.bin       a font image, sent to the address typed in the window
// Each begins with the 64-byte header the program reads; the rest is a pattern in which every
// byte tells its offset, with a readable label every 4 KiB.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kBootMarker = 0xFFFF0000u;

struct Sample {
  const char* name;
  const char* tag;
  std::uint32_t size;
  std::uint32_t firstAreaLength;
  std::uint32_t loadAddress;
  std::uint32_t number;  // shown in the window once a run has read the image
};

constexpr Sample kSamples[] = {
    {"PHONE_CODE.bin", "CODE", 192 * 1024, 192 * 1024, 0, 517},
    {"PHONE_BOOT_CODE.bin", "CODE", 160 * 1024, 32 * 1024, kBootMarker, 518},
    {"PHONE_FONT.bin", "RESC", 96 * 1024, 96 * 1024, 0, 36},
};

void PutLe32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> Build(const Sample& sample) {
  std::vector<std::uint8_t> bytes(sample.size);
  for (std::uint32_t i = 0; i < sample.size; ++i) bytes[i] = static_cast<std::uint8_t>(i ^ (i >> 8) ^ (i >> 16));
  for (std::uint32_t at = 4096; at + 64 <= sample.size; at += 4096) {
    char label[64];
    const int length = std::snprintf(label, sizeof label, "FLASHGATE SAMPLE %s @%08X", sample.name, at);
    std::memcpy(bytes.data() + at, label, static_cast<std::size_t>(length));
  }
  std::memset(bytes.data(), 0, 64);
  std::memcpy(bytes.data(), sample.tag, 4);
  PutLe32(bytes, 4, sample.firstAreaLength);
  PutLe32(bytes, 8, sample.loadAddress);
  PutLe32(bytes, 32, sample.number);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc == 2 ? stdout : stderr,
                 "Usage: flashgate-sample-images FOLDER\n"
                 "Writes PHONE_CODE.bin, PHONE_BOOT_CODE.bin and PHONE_FONT.bin there.\n");
    return argc == 2 ? 0 : 2;
  }
  for (const Sample& sample : kSamples) {
    const std::string path = std::string(argv[1]) + "/" + sample.name;
    const std::vector<std::uint8_t> bytes = Build(sample);
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!file || std::fclose(file) != 0 || !written) {
      std::fprintf(stderr, "flashgate-sample-images: %s: %s\n", path.c_str(), std::strerror(errno));
      return 1;
    }
  }
  return 0;
}
