#include "ui/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "ui/downloader_dlg.h"

namespace {

bool ParseNumber(const std::string& text, int low, int high, int* number) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  *number = static_cast<int>(value);
  return true;
}

// One to eight hexadecimal digits, with or without "0x": the digits the font address field takes.
bool ParseHexAddress(std::string text, std::string* digits) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
  if (text.empty() || text.size() > 8) return false;
  for (const char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  *digits = text;
  return true;
}

// The words --type takes, between `separator`s.
std::string DownloadTypeWords(const char* separator) {
  std::string words;
  for (const DownloadType& type : DownloadTypes()) {
    if (!words.empty()) words += separator;
    words += type.commandWord;
  }
  return words;
}

class Parser {
 public:
  Parser(const std::vector<CString>& arguments, CommandLine* commandLine, std::string* error)
      : m_arguments(arguments), m_line(*commandLine), m_error(*error) {}

  bool Parse() {
    while (m_next < m_arguments.size()) {
      if (!ParseOption()) return false;
    }
    return CheckCombination();
  }

 private:
  bool ParseOption() {
    std::string name = m_arguments[m_next++].GetString();
    std::string value;
    bool inlineValue = false;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
      inlineValue = true;
    }
    Preselection& pick = m_line.preselection;
    const auto flag = [&](bool* target) {
      if (inlineValue) return Fail(name + " takes no value");
      *target = true;
      return true;
    };
    if (name == "--help" || name == "-h") return flag(&m_line.help);
    if (name == "--version") return flag(&m_line.version);
    if (name == "--boot-area") return flag(&pick.bootArea);
    if (name == "--start") return flag(&pick.start);
    if (name == "--batch") return flag(&m_line.batch);
    if (name == "--demo") return flag(&pick.demo);

    const bool takesValue = name == "--port" || name == "--code" || name == "--font" || name == "--font-address" ||
                            name == "--type" || name == "--stall-timeout" || name == "--erase-timeout" ||
                            name == "--report" || name == "--trace";
    if (!takesValue) return Fail("unknown option " + name);
    if (!inlineValue) {
      if (m_next >= m_arguments.size()) return Fail(name + " needs a value");
      value = m_arguments[m_next++].GetString();
    }
    if (name == "--port") {
      return ParseNumber(value, 1, CSerialPort::kLastPortNumber, &pick.port) ||
             Fail("--port takes a COM port number from 1 to 255");
    }
    if (name == "--code") return Path(value, &pick.codePath, name);
    if (name == "--font") return Path(value, &pick.fontPath, name);
    if (name == "--report") return Path(value, &m_line.reportPath, name);
    if (name == "--trace") return Path(value, &m_line.tracePath, name);
    if (name == "--font-address") {
      return ParseHexAddress(value, &pick.fontAddress) || Fail("--font-address takes up to 8 hexadecimal digits");
    }
    if (name == "--type") {
      pick.downloadType = DownloadTypeNamed(value);
      return pick.downloadType || Fail("--type is " + DownloadTypeWords(" or "));
    }
    if (name == "--erase-timeout") {
      return ParseNumber(value, 1, 86400, &m_line.eraseSeconds) || Fail("--erase-timeout takes seconds, 1 or more");
    }
    return ParseNumber(value, 1, 86400, &m_line.stallSeconds) || Fail("--stall-timeout takes seconds, 1 or more");
  }

  bool Path(const std::string& value, std::string* target, const std::string& name) {
    if (value.empty()) return Fail(name + " needs a file");
    *target = value;
    return true;
  }

  bool CheckCombination() {
    const Preselection& pick = m_line.preselection;
    if (m_line.batch) m_line.preselection.start = true;
    if (pick.start && pick.codePath.empty() && pick.fontPath.empty()) {
      return Fail(std::string(m_line.batch ? "--batch" : "--start") + " needs --code or --font");
    }
    // The window sends only the code image of such a pair; a station must not believe both went.
    if (m_line.batch && !pick.codePath.empty() && !pick.fontPath.empty()) {
      return Fail("--batch sends one image per run: give --code or --font, not both");
    }
    if (pick.bootArea && pick.codePath.empty()) return Fail("--boot-area needs --code");
    if (!pick.fontAddress.empty() && pick.fontPath.empty()) return Fail("--font-address needs --font");
    if (!m_line.reportPath.empty() && !m_line.batch) return Fail("--report needs --batch");
    return true;
  }

  bool Fail(const std::string& why) {
    m_error = why;
    return false;
  }

  const std::vector<CString>& m_arguments;
  size_t m_next = 0;
  CommandLine& m_line;
  std::string& m_error;
};

}  // namespace

bool ParseCommandLine(const std::vector<CString>& arguments, CommandLine* commandLine, std::string* error) {
  *commandLine = CommandLine{};
  return Parser(arguments, commandLine, error).Parse();
}

std::string UsageText() {
  return "Usage: flashgate [options]\n"
         "Loads a phone code and/or font image into a handset attached as a serial port.\n"
         "\n"
         "What the operator would pick in the window (none of it is saved as a setting):\n"
         "  --port N               COM port N (1-255)\n"
         "  --code FILE            the phone code image (.bin)\n"
         "  --font FILE            the phone font image (.bin)\n"
         "  --font-address HEX     where the font image goes, in hexadecimal\n"
         "  --type " +
         DownloadTypeWords("|") +
         "\n"
         "                         the download type: a handset waiting in download mode, or one\n"
         "                         running its normal software\n"
         "  --boot-area            also write the boot area of a boot+code image; given here, the\n"
         "                         typed confirmation is not asked for\n"
         "\n"
         "How to run:\n"
         "  --start                press Download as soon as the window is up\n"
         "  --batch                run one download without a window: start, answer the message\n"
         "                         boxes, print the log on standard output, then exit\n"
         "  --stall-timeout SEC    with --batch: end the run when the handset has confirmed\n"
         "                         nothing for SEC seconds (default 60), also where the run\n"
         "                         itself would wait on; its own time-outs end it sooner\n"
         "  --erase-timeout SEC    with --batch: how long the handset may take to erase an area\n"
         "                         (default 300); the stall time-out does not run meanwhile\n"
         "  --report FILE.html     with --batch: also write the run's report (its block map, the\n"
         "                         line's timing and its log) as FILE.html\n"
         "  --trace FILE           write every frame to and from the handset to FILE, one line\n"
         "                         each: microseconds, TX or RX, bytes, what it says, its FCS\n"
         "  --demo                 say in the log that the handset is the bundled simulator\n"
         "  --help, --version\n"
         "\n"
         "Exit codes of --batch: 0 download completed and every block confirmed by the handset,\n"
         "3 no answer from the handset, 4 the reconnection failed or was not tried, 5 the port could\n"
         "not be opened, 6 the image or the font address was refused, or no download type was chosen,\n"
         "7 the handset left during the run, 8 completed but not all of it confirmed by the handset,\n"
         "9 the image could not be read during the run; 2 an unusable command line.\n"
         "\n"
         "Settings: $FLASHGATE_REGISTRY (default ~/.config/flashgate/registry.reg).\n"
         "Port map: $FLASHGATE_PORTS_DIR (default ~/.config/flashgate/ports).\n"
         "Service records and their run reports: $XDG_STATE_HOME/flashgate\n"
         "(default ~/.local/state/flashgate).\n";
}
