#include "records/service_record.h"

#include "platform/kernel/com_port.h"
#include "platform/kernel/file.h"
#include "platform/kernel/text.h"
#include "records/sha256.h"

namespace {

std::string DateTime(const SYSTEMTIME& time) {
  return Printed("%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute,
                 time.wSecond);
}

std::string PortText(int portNumber, const std::string& device) {
  return platform::ComPortName(portNumber) + (device.empty() ? std::string(" (no device)") : " (" + device + ")");
}

void AddImage(std::string& text, const char* label, const ImageFacts& image) {
  text += label;
  if (image.path.empty()) {
    text += "none\n";
    return;
  }
  text += image.path + "\n";
  if (!image.readable) {
    text += "  Size:         not readable\n";
    return;
  }
  text += Printed("  Size:         %llu bytes\n", image.size);
  text += "  SHA-256:      " + image.sha256 + "\n";
}

}  // namespace

ImageFacts ReadImageFacts(const std::string& path) {
  ImageFacts facts;
  facts.path = path;
  CFile file;
  CFileStatus status;
  if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary) || !file.GetStatus(status)) return facts;
  Sha256 digest;
  char buffer[65536];
  for (;;) {
    const UINT count = file.Read(buffer, sizeof buffer);
    digest.Update(buffer, count);
    facts.size += count;
    if (count < sizeof buffer) break;
  }
  // A read that fails part way reads as short: the digest would be of part of the file.
  facts.readable = facts.size == status.m_size;
  if (facts.readable) facts.sha256 = digest.HexDigest();
  return facts;
}

std::string RecordFileName(const ServiceRecord& record, unsigned long processId) {
  const SYSTEMTIME& t = record.startedUtc;
  return Printed("%04u%02u%02uT%02u%02u%02u.%03uZ-%s-%lu.txt", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                 t.wMilliseconds, platform::ComPortName(record.portNumber).c_str(), processId);
}

std::string FormatRecord(const ServiceRecord& record) {
  std::string text = "Flashgate service record\n";
  const SYSTEMTIME& utc = record.startedUtc;
  text += "Started:        " + DateTime(record.startedLocal) +
          Printed(" local, %04u-%02u-%02uT%02u:%02u:%02u.%03uZ\n", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond, utc.wMilliseconds);
  text += "Port:           " + PortText(record.portNumber, record.device);
  if (record.finalPortNumber) text += ", then " + PortText(record.finalPortNumber, record.finalDevice);
  text += "\n";
  text += "Download type:  " + record.downloadType + "\n";
  text += std::string("Boot area:      ") + (record.bootArea ? "yes" : "no") + "\n";
  AddImage(text, "Code image:     ", record.code);
  AddImage(text, "Font image:     ", record.font);
  if (!record.font.path.empty()) text += "Font address:   " + record.fontAddress + "\n";
  text += "End:            ";
  for (size_t i = 0; i < record.ends.size(); ++i) text += std::string(i ? "; then " : "") + RunEndText(record.ends[i]);
  text += record.ends.empty() ? "under way\n" : "\n";
  if (!record.unconfirmed.empty()) {
    text += "Unconfirmed:    ";
    for (size_t i = 0; i < record.unconfirmed.size(); ++i) text += (i ? "; " : "") + record.unconfirmed[i];
    text += "\n";
  }
  const unsigned long seconds = record.elapsedMs / 1000;
  text += Printed("Elapsed:        %lu min %lu sec (%lu ms)\n", seconds / 60, seconds % 60, record.elapsedMs);
  if (!record.messageBoxes.empty()) {
    text += "Message boxes:\n";
    for (std::string box : record.messageBoxes) {
      // One line each: the lines of a box are joined.
      for (size_t at = box.find('\n'); at != std::string::npos; at = box.find('\n', at)) box.replace(at, 1, " / ");
      text += "  " + box + "\n";
    }
  }
  text += "\nLog:\n" + record.log;
  if (!record.log.empty() && record.log.back() != '\n') text += "\n";
  return text;
}
