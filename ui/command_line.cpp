#include "ui/command_line.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>

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

// The option table: its name, what the usage calls its value (none for a flag), its help and
// what it does. An option is made by one of the two constructors, each with its own kind of
// handler, so a flag cannot be given a value and an option that takes one always has its own
// handler.
class Option {
 public:
  enum class Section { Choices, Running };
  using FlagHandler = void (*)(CommandLine&);
  // Takes the value, or answers why not.
  using ValueHandler = std::optional<std::string> (*)(CommandLine&, const std::string& value);

  static Option Flag(Section section, const char* name, const char* help, FlagHandler set) {
    return Option(section, name, "", help, set, nullptr);
  }
  static Option Valued(Section section, const char* name, std::string value, const char* help, ValueHandler take) {
    return Option(section, name, std::move(value), help, nullptr, take);
  }

  Section section() const { return m_section; }
  const std::string& name() const { return m_name; }
  bool TakesValue() const { return m_take != nullptr; }
  void Set(CommandLine& line) const { m_set(line); }
  std::optional<std::string> Take(CommandLine& line, const std::string& value) const { return m_take(line, value); }
  // Its lines in the usage text.
  std::string Usage() const {
    constexpr std::size_t kHelpColumn = 25;
    std::string head = "  " + m_name + (m_value.empty() ? "" : " " + m_value);
    head += head.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - head.size(), ' ')
                                           : "\n" + std::string(kHelpColumn, ' ');
    std::string text = head;
    for (const char* c = m_help; *c; ++c)
      text += *c == '\n' ? "\n" + std::string(kHelpColumn, ' ') : std::string(1, *c);
    return text + "\n";
  }

 private:
  Option(Section section, const char* name, std::string value, const char* help, FlagHandler set, ValueHandler take)
      : m_section(section), m_name(name), m_value(std::move(value)), m_help(help), m_set(set), m_take(take) {}

  Section m_section;
  std::string m_name;
  std::string m_value;
  const char* m_help;
  FlagHandler m_set;
  ValueHandler m_take;
};

std::optional<std::string> TakePath(const std::string& value, std::string* target, const char* name) {
  if (value.empty()) return std::string(name) + " needs a file";
  *target = value;
  return std::nullopt;
}

std::optional<std::string> TakeSeconds(const std::string& value, int* target, const char* name) {
  if (ParseNumber(value, 1, 86400, target)) return std::nullopt;
  return std::string(name) + " takes seconds, 1 or more";
}

const std::vector<Option>& Options() {
  using Section = Option::Section;
  static const std::vector<Option> kOptions = {
      Option::Valued(Section::Choices, "--port", "N", "COM port N (1-255)",
                     [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
                       if (ParseNumber(value, 1, CSerialPort::kLastPortNumber, &line.preselection.port))
                         return std::nullopt;
                       return "--port takes a COM port number from 1 to 255";
                     }),
      Option::Valued(Section::Choices, "--code", "FILE", "the phone code image (.bin)",
                     [](CommandLine& line, const std::string& value) {
                       return TakePath(value, &line.preselection.codePath, "--code");
                     }),
      Option::Valued(Section::Choices, "--font", "FILE", "the phone font image (.bin)",
                     [](CommandLine& line, const std::string& value) {
                       return TakePath(value, &line.preselection.fontPath, "--font");
                     }),
      Option::Valued(Section::Choices, "--font-address", "HEX", "where the font image goes, in hexadecimal",
                     [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
                       if (ParseHexAddress(value, &line.preselection.fontAddress)) return std::nullopt;
                       return "--font-address takes up to 8 hexadecimal digits";
                     }),
      Option::Valued(Section::Choices, "--type", DownloadTypeWords("|"),
                     "the download type: a handset waiting in download mode, or one\n"
                     "running its normal software",
                     [](CommandLine& line, const std::string& value) -> std::optional<std::string> {
                       line.preselection.downloadType = DownloadTypeNamed(value);
                       if (line.preselection.downloadType) return std::nullopt;
                       return "--type is " + DownloadTypeWords(" or ");
                     }),
      Option::Flag(Section::Choices, "--boot-area",
                   "also write the boot area of a boot+code image; given here, the\n"
                   "typed confirmation is not asked for",
                   [](CommandLine& line) { line.preselection.bootArea = true; }),
      Option::Flag(Section::Running, "--start", "press Download as soon as the window is up",
                   [](CommandLine& line) { line.preselection.start = true; }),
      Option::Flag(Section::Running, "--batch",
                   "run one download without a window: start, answer the message\n"
                   "boxes, print the log on standard output, then exit",
                   [](CommandLine& line) { line.batch = true; }),
      Option::Valued(Section::Running, "--stall-timeout", "SEC",
                     "with --batch: end the run when the handset has confirmed\n"
                     "nothing for SEC seconds (default 60), also where the run\n"
                     "itself would wait on; its own time-outs end it sooner",
                     [](CommandLine& line, const std::string& value) {
                       return TakeSeconds(value, &line.stallSeconds, "--stall-timeout");
                     }),
      Option::Valued(Section::Running, "--erase-timeout", "SEC",
                     "with --batch: how long the handset may take to erase an area\n"
                     "(default 300); the stall time-out does not run meanwhile",
                     [](CommandLine& line, const std::string& value) {
                       return TakeSeconds(value, &line.eraseSeconds, "--erase-timeout");
                     }),
      Option::Valued(Section::Running, "--mode-wait", "SEC",
                     "with --batch and the NORMAL type: go on once the handset's port\n"
                     "is back in its socket and SEC seconds have passed since its\n"
                     "restart (default 10, as the window waits); a port that does not\n"
                     "come back ends the run after SEC seconds or 10, whichever is\n"
                     "longer",
                     [](CommandLine& line, const std::string& value) {
                       return TakeSeconds(value, &line.modeWaitSeconds, "--mode-wait");
                     }),
      Option::Valued(
          Section::Running, "--report", "FILE.html",
          "with --batch: also write the run's report (its block map, the\n"
          "line's timing and its log) as FILE.html",
          [](CommandLine& line, const std::string& value) { return TakePath(value, &line.reportPath, "--report"); }),
      Option::Valued(
          Section::Running, "--trace", "FILE",
          "write every frame to and from the handset to FILE, one line\n"
          "each: microseconds, TX or RX, bytes, what it says, its FCS",
          [](CommandLine& line, const std::string& value) { return TakePath(value, &line.tracePath, "--trace"); }),
      Option::Flag(Section::Running, "--demo", "say in the log that the handset is the bundled simulator",
                   [](CommandLine& line) { line.preselection.demo = true; }),
      Option::Flag(Section::Running, "--list-ports",
                   "list the ports: each COM number with its device, the names\n"
                   "udev gives it and the programs that hold it open, then exit",
                   [](CommandLine& line) { line.listPorts = true; }),
      Option::Flag(Section::Running, "--json",
                   "with --list-ports or --batch: one JSON object a line on standard\n"
                   "output (a batch run's log then goes to standard error)",
                   [](CommandLine& line) { line.json = true; }),
      Option::Flag(Section::Running, "--help", "this text, then exit", [](CommandLine& line) { line.help = true; }),
      Option::Flag(Section::Running, "--version", "the program's version, then exit",
                   [](CommandLine& line) { line.version = true; }),
  };
  return kOptions;
}

// What a batch run's exit code says, in the usage text.
struct ExitMeaning {
  ExitCode code;
  const char* meaning;
};
constexpr ExitMeaning kExitMeanings[] = {
    {EXIT_COMPLETED, "download completed and every block confirmed by the handset"},
    {EXIT_USAGE, "an unusable command line"},
    {EXIT_NO_ANSWER, "no answer from the handset"},
    {EXIT_RECONNECT_FAILED, "the reconnection failed or was not tried"},
    {EXIT_PORT_NOT_OPENED, "the port could not be opened"},
    {EXIT_REFUSED, "the image or the font address was refused, or no download type was chosen"},
    {EXIT_HANDSET_LOST, "the handset left during the run"},
    {EXIT_UNCONFIRMED, "completed, but not all of it confirmed by the handset"},
    {EXIT_IMAGE_UNREADABLE, "the image could not be read during the run"},
};

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
    std::optional<std::string> value;
    if (const size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.erase(equals);
    }
    if (name == "-h") name = "--help";
    const auto option = std::find_if(Options().begin(), Options().end(),
                                     [&](const Option& candidate) { return candidate.name() == name; });
    if (option == Options().end()) return Fail("unknown option " + name);
    if (!option->TakesValue()) {
      if (value) return Fail(name + " takes no value");
      option->Set(m_line);
      return true;
    }
    if (!value) {
      if (m_next >= m_arguments.size()) return Fail(name + " needs a value");
      value = m_arguments[m_next++].GetString();
    }
    const std::optional<std::string> refusal = option->Take(m_line, *value);
    return !refusal || Fail(*refusal);
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
    if (m_line.json && !m_line.listPorts && !m_line.batch) return Fail("--json needs --batch or --list-ports");
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
  std::string text =
      "Usage: flashgate [options]\n"
      "Loads a phone code and/or font image into a handset attached as a serial port.\n"
      "\n"
      "What the operator would pick in the window (none of it is saved as a setting):\n";
  for (const Option& option : Options()) {
    if (option.section() == Option::Section::Choices) text += option.Usage();
  }
  text += "\nHow to run:\n";
  for (const Option& option : Options()) {
    if (option.section() == Option::Section::Running) text += option.Usage();
  }
  text += "\nExit codes of --batch:\n";
  for (const ExitMeaning& exit : kExitMeanings) text += "  " + std::to_string(exit.code) + "  " + exit.meaning + "\n";
  return text +
         "\n"
         "Settings: $FLASHGATE_REGISTRY (default ~/.config/flashgate/registry.reg).\n"
         "Port map: $FLASHGATE_PORTS_DIR (default ~/.config/flashgate/ports).\n"
         "Service records and their run reports: $XDG_STATE_HOME/flashgate\n"
         "(default ~/.local/state/flashgate).\n";
}
