#include "tools/handset-sim/options.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

#include "tools/handset-sim/fault_schedule.h"

namespace handset_sim {
namespace {

constexpr std::uint64_t kDefaultFaultRequests = 24;

bool ParseUnsigned(const std::string& text, std::uint64_t low, std::uint64_t high, std::uint64_t* value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool ParseRate(const std::string& text, double* rate) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(parsed) || parsed < 0.0 || parsed > 1.0) return false;
  *rate = parsed;
  return true;
}

bool ParseNakCode(const std::string& text, Byte* code) {
  static const std::map<std::string, Byte> kCodes = {
      {"A1", kNakBadCrc},     {"0xA1", kNakBadCrc},     {"NAK_BAD_CRC", kNakBadCrc},
      {"A2", kNakTooLarge},   {"0xA2", kNakTooLarge},   {"NAK_TOO_LARGE", kNakTooLarge},
      {"A3", kNakInvalidCmd}, {"0xA3", kNakInvalidCmd}, {"NAK_INVALID_CMD", kNakInvalidCmd},
      {"A4", kNakFailed},     {"0xA4", kNakFailed},     {"NAK_FAILED", kNakFailed},
  };
  std::string upper;
  for (char c : text) upper += static_cast<char>(c == 'x' ? c : std::toupper(static_cast<unsigned char>(c)));
  const auto found = kCodes.find(upper);
  if (found == kCodes.end()) return false;
  *code = found->second;
  return true;
}

// A name in a folder: a node, a by-id or a by-path name.
bool IsPlainName(const std::string& text) {
  return !text.empty() && text != "." && text != ".." && text.find('/') == std::string::npos;
}

// "CODE<separator>VALUE"
bool SplitPair(const std::string& text, char separator, std::string* first, std::string* second) {
  const std::size_t at = text.find(separator);
  if (at == std::string::npos) return false;
  *first = text.substr(0, at);
  *second = text.substr(at + 1);
  return true;
}

class Parser {
 public:
  Parser(ProgramOptions* options, std::string* error) : m_options(options), m_config(options->config), m_error(error) {}

  bool Parse(const std::vector<std::string>& args) {
    std::set<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
      std::string name = args[i];
      std::string value;
      bool hasValue = false;
      if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
        hasValue = true;
      }
      if (name == "--help" || name == "-h") {
        m_options->help = true;
        return true;
      }
      if (const auto flag = Flags().find(name); flag != Flags().end()) {
        if (hasValue) return Fail(name + " takes no value");
        flag->second(*this);
        continue;
      }
      const auto option = ValueOptions().find(name);
      if (option == ValueOptions().end()) return Fail("unknown option " + name);
      if (!hasValue) {
        if (i + 1 == args.size()) return Fail(name + " needs a value");
        value = args[++i];
      }
      if (!option->second(*this, value)) return Fail("bad value for " + name + ": " + value);
      given.insert(name);
    }
    if (!CheckPlace(given)) return false;
    return given.count("--fault-seed") ? AddFaultSchedule() : CheckNoFaultRequests(given);
  }

 private:
  using Flag = std::function<void(Parser&)>;
  using ValueOption = std::function<bool(Parser&, const std::string&)>;

  bool CheckPlace(const std::set<std::string>& given) {
    if (given.count("--socket")) return CheckSocket(given);
    return given.count("--dev-dir") ? CheckDeviceFolder(given) : CheckPortMap(given);
  }

  bool CheckSocket(const std::set<std::string>& given) {
    for (const char* name : {"--port", "--return-port", "--ports-dir", "--dev-dir", "--node", "--by-id", "--by-path",
                             "--udev-delay", "--return-node", "--return-by-id"}) {
      if (given.count(name)) {
        return Fail(std::string(name) + " does not go with --socket: the machine behind the socket names the device");
      }
    }
    return true;
  }

  bool CheckPortMap(const std::set<std::string>& given) {
    for (const char* name : {"--node", "--by-id", "--by-path", "--udev-delay", "--return-node", "--return-by-id"}) {
      if (given.count(name)) return Fail(std::string(name) + " needs --dev-dir");
    }
    if (!given.count("--port")) return Fail("--port, --dev-dir or --socket is required");
    return true;
  }

  bool CheckDeviceFolder(const std::set<std::string>& given) {
    for (const char* name : {"--port", "--return-port", "--ports-dir"}) {
      if (given.count(name)) {
        return Fail(std::string(name) +
                    " and --dev-dir are alternatives: the handset appears either as a port in the port map or as a "
                    "device in a device folder");
      }
    }
    if (!given.count("--node")) return Fail("--dev-dir needs --node");
    return true;
  }

  bool CheckNoFaultRequests(const std::set<std::string>& given) {
    return given.count("--fault-requests") ? Fail("--fault-requests needs --fault-seed") : true;
  }

  bool AddFaultSchedule() {
    const FaultSchedule schedule = DrawFaultSchedule(m_faultSeed, m_faultRequests);
    schedule.AddTo(&m_config);
    m_options->faultSchedule = "fault schedule (seed " + std::to_string(m_faultSeed) +
                               "): " + (schedule.text.empty() ? "no faults" : schedule.text);
    return true;
  }

  static const std::map<std::string, Flag>& Flags() {
    static const std::map<std::string, Flag> kFlags = {
        {"--no-return", [](Parser& p) { p.m_config.comesBack = false; }},
        {"--opening-flag",
         [](Parser& p) {
           p.AddRule({Fault::OpeningFlag, 0, 0, 1.0});
         }},
        {"--leave-at-final-reset", [](Parser& p) { p.m_config.leaveAtFinalReset = true; }},
        {"--quiet", [](Parser& p) { p.m_options->quiet = true; }},
        {"--restart-after-reset", [](Parser& p) { p.m_config.restartAfterReset = true; }},
    };
    return kFlags;
  }

  static const std::map<std::string, ValueOption>& ValueOptions() {
    static const std::map<std::string, ValueOption> kOptions = {
        {"--port", [](Parser& p, const std::string& v) { return p.Port(v, &p.m_config.port); }},
        {"--return-port", [](Parser& p, const std::string& v) { return p.Port(v, &p.m_config.returnPort); }},
        {"--ports-dir",
         [](Parser& p, const std::string& v) {
           p.m_config.portsDir = v;
           return !v.empty();
         }},
        {"--dev-dir", [](Parser& p, const std::string& v) { return p.Path(v, &p.m_config.devDir); }},
        {"--socket", [](Parser& p, const std::string& v) { return p.Path(v, &p.m_config.socketPath); }},
        {"--node", [](Parser& p, const std::string& v) { return p.Name(v, &p.m_config.node); }},
        {"--by-id", [](Parser& p, const std::string& v) { return p.Name(v, &p.m_config.byId); }},
        {"--by-path", [](Parser& p, const std::string& v) { return p.Name(v, &p.m_config.byPath); }},
        {"--udev-delay", [](Parser& p, const std::string& v) { return p.Millis(v, &p.m_config.udevDelay); }},
        {"--return-node", [](Parser& p, const std::string& v) { return p.Name(v, &p.m_config.returnNode); }},
        {"--return-by-id", [](Parser& p, const std::string& v) { return p.Name(v, &p.m_config.returnById); }},
        {"--mode", [](Parser& p, const std::string& v) { return p.ModeOption(v); }},
        {"--return-delay", [](Parser& p, const std::string& v) { return p.Millis(v, &p.m_config.returnDelay); }},
        {"--split-pause", [](Parser& p, const std::string& v) { return p.Millis(v, &p.m_config.splitPause); }},
        {"--split-answers",
         [](Parser& p, const std::string& v) { return p.Millis(v, &p.m_config.splitAnswersGap); }},
        {"--baud",
         [](Parser& p, const std::string& v) {
           std::uint64_t baud = 0;
           if (!ParseUnsigned(v, 0, 4'000'000, &baud)) return false;
           p.m_config.baud = static_cast<unsigned>(baud);
           return true;
         }},
        {"--dump-flash", [](Parser& p, const std::string& v) { return p.Path(v, &p.m_options->dumpFlash); }},
        {"--dump-log", [](Parser& p, const std::string& v) { return p.Path(v, &p.m_options->dumpLog); }},
        {"--nak", [](Parser& p, const std::string& v) { return p.NakAt(v); }},
        {"--nak-rate", [](Parser& p, const std::string& v) { return p.NakRate(v); }},
        {"--silence-at", [](Parser& p, const std::string& v) { return p.At(Fault::Silence, v); }},
        {"--silence-rate", [](Parser& p, const std::string& v) { return p.Rate(Fault::Silence, v); }},
        {"--bad-fcs-at", [](Parser& p, const std::string& v) { return p.At(Fault::BadFcs, v); }},
        {"--bad-fcs-rate", [](Parser& p, const std::string& v) { return p.Rate(Fault::BadFcs, v); }},
        {"--split-at", [](Parser& p, const std::string& v) { return p.At(Fault::Split, v); }},
        {"--split-rate", [](Parser& p, const std::string& v) { return p.Rate(Fault::Split, v); }},
        {"--late", [](Parser& p, const std::string& v) { return p.LateAt(v); }},
        {"--hang-at",
         [](Parser& p, const std::string& v) { return ParseUnsigned(v, 1, UINT64_MAX, &p.m_config.hangAt); }},
        {"--unplug-at-block",
         [](Parser& p, const std::string& v) { return ParseUnsigned(v, 1, UINT64_MAX, &p.m_config.unplugAtBlock); }},
        {"--unplug-at",
         [](Parser& p, const std::string& v) { return ParseUnsigned(v, 1, UINT64_MAX, &p.m_config.unplugAt); }},
        {"--fault-seed",
         [](Parser& p, const std::string& v) {
           std::uint64_t seed = 0;
           if (!ParseUnsigned(v, 0, UINT32_MAX, &seed)) return false;
           p.m_faultSeed = static_cast<std::uint32_t>(seed);
           return true;
         }},
        {"--fault-requests",
         [](Parser& p, const std::string& v) { return ParseUnsigned(v, 1, 1'000'000, &p.m_faultRequests); }},
        {"--seed",
         [](Parser& p, const std::string& v) {
           std::uint64_t seed = 0;
           if (!ParseUnsigned(v, 0, UINT32_MAX, &seed)) return false;
           p.m_config.seed = static_cast<std::uint32_t>(seed);
           return true;
         }},
    };
    return kOptions;
  }

  bool Fail(const std::string& message) {
    *m_error = message;
    return false;
  }

  void AddRule(FaultRule rule) { m_config.faults.push_back(rule); }

  bool Port(const std::string& text, unsigned* port) {
    std::uint64_t number = 0;
    if (!ParseUnsigned(text, 1, 255, &number)) return false;
    *port = static_cast<unsigned>(number);
    return true;
  }

  bool ModeOption(const std::string& text) {
    if (text == "download") {
      m_config.mode = Mode::Download;
    } else if (text == "normal") {
      m_config.mode = Mode::Normal;
    } else {
      return false;
    }
    return true;
  }

  bool Millis(const std::string& text, std::chrono::milliseconds* value) {
    std::uint64_t ms = 0;
    if (!ParseUnsigned(text, 0, 3'600'000, &ms)) return false;
    *value = std::chrono::milliseconds(ms);
    return true;
  }

  bool Path(const std::string& text, std::string* path) {
    *path = text;
    return !text.empty();
  }

  bool Name(const std::string& text, std::string* name) {
    *name = text;
    return IsPlainName(text);
  }

  bool At(Fault fault, const std::string& text, Byte nakCode = 0) {
    FaultRule rule{fault, nakCode, 0, 0.0};
    if (!ParseUnsigned(text, 1, UINT64_MAX, &rule.atRequest)) return false;
    AddRule(rule);
    return true;
  }

  bool Rate(Fault fault, const std::string& text, Byte nakCode = 0) {
    FaultRule rule{fault, nakCode, 0, 0.0};
    if (!ParseRate(text, &rule.rate)) return false;
    AddRule(rule);
    return true;
  }

  bool NakAt(const std::string& text) {
    std::string code;
    std::string number;
    Byte nak = 0;
    return SplitPair(text, '@', &code, &number) && ParseNakCode(code, &nak) && At(Fault::Nak, number, nak);
  }

  bool NakRate(const std::string& text) {
    std::string code;
    std::string rate;
    Byte nak = 0;
    return SplitPair(text, ':', &code, &rate) && ParseNakCode(code, &nak) && Rate(Fault::Nak, rate, nak);
  }

  bool LateAt(const std::string& text) {
    std::string number;
    std::string hold;
    FaultRule rule{Fault::Late, 0, 0, 0.0};
    if (!SplitPair(text, ':', &number, &hold) || !Millis(hold, &rule.hold)) return false;
    if (!ParseUnsigned(number, 1, UINT64_MAX, &rule.atRequest)) return false;
    AddRule(rule);
    return true;
  }

  ProgramOptions* m_options;
  Config& m_config;
  std::string* m_error;
  std::uint32_t m_faultSeed = 0;
  std::uint64_t m_faultRequests = kDefaultFaultRequests;
};

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, ProgramOptions* options, std::string* error) {
  return Parser(options, error).Parse(args);
}

std::string UsageText() {
  return R"(Usage: flashgate-handset-sim --port N [options]
       flashgate-handset-sim --dev-dir DIR --node NAME [options]
       flashgate-handset-sim --socket PATH [options]
Plays a handset's download program on a pseudo-terminal, published as COM port N in the port
map, or as a device node in a device folder the way the kernel and udev make one; or plugged
into a virtual machine's USB serial device.
Runs until SIGINT or SIGTERM; SIGUSR1 writes the dumps at once.

Where the handset appears (--port, --dev-dir and --socket are alternatives):
  --port N             publish the handset as comN in the port map (1 to 255)
  --ports-dir DIR      the port map directory
                       (default: $FLASHGATE_PORTS_DIR, else ~/.config/flashgate/ports)
  --return-port M      come back as comM after leaving the bus (default: the same port)
  --dev-dir DIR        appear in the device folder DIR instead: DIR/NAME, a link to the
                       pseudo-terminal, at once; after the udev delay the relative links
                       DIR/serial/by-id/ID and DIR/serial/by-path/SOCKET to it. Off the bus the
                       two links go first, then the node, then the line hangs up
  --node NAME          the node's name, e.g. ttyACM0 (required with --dev-dir)
  --by-id ID           the by-id name (the handset's USB identity; default: none)
  --by-path SOCKET     the by-path name (the socket it is plugged into; default: none)
  --udev-delay MS      time from the node to its by-id and by-path links (default 200)
  --return-node NAME   the node after coming back (default: the same node)
  --return-by-id ID    the by-id name after coming back (default: the same); the by-path
                       name stays, as the handset stays in the same socket
  --socket PATH        plug into the USB serial device behind the listening socket PATH
                       (QEMU's -device usb-serial on a socket chardev): connected, the
                       device is on the guest's bus; off the bus the connection closes;
                       it comes back into the same device

The line:
  --mode MODE          download: answer the download protocol (default);
                       normal: wait for the AT command, then restart in download mode
  --return-delay MS    time off the bus before coming back (default 2000)
  --no-return          once off the bus (unplugged, restarting after the AT command or after
                       the reset), stay off
  --restart-after-reset  answer the reset at the end of a download, then leave the bus and
                       come back in normal mode, as a handset restarting into its software
  --baud RATE          pace both directions to RATE baud, 10 bits a byte (default 0: no pacing)

Faults (N counts requests from 1; P is a probability per request, 0 to 1):
  --nak CODE@N         answer request N with a NAK and leave it undone;
                       CODE is A1, A2, A3, A4 or NAK_BAD_CRC, NAK_TOO_LARGE, NAK_INVALID_CMD, NAK_FAILED
  --nak-rate CODE:P    the same, at random
  --silence-at N       carry out request N but send no answer
  --silence-rate P
  --bad-fcs-at N       corrupt the FCS of the answer to request N
  --bad-fcs-rate P
  --split-at N         write the answer to request N in two parts
  --split-rate P
  --split-pause MS     the pause between the two parts (default 20)
  --split-answers MS   write every answer in pieces, MS ms apart, cut each time elsewhere,
                       so that every cut point of every answer comes in turn; now and then
                       in three pieces (default 0: whole)
  --opening-flag       begin every answer with a flag
  --late N:MS          carry out request N but hold its answer back until MS ms have passed
                       or the next request comes; then the held answer goes out first
  --unplug-at-block N  leave the bus when the N-th block arrives; the block is written, its
                       answer is lost, and the handset comes back ready for raw blocks
  --unplug-at N        the same on request N, whatever it is: carried out if it is good,
                       never answered
  --leave-at-final-reset  carry out the reset that ends a download (the one after a block)
                       without answering it: leave the bus at once and come back in normal
                       mode, as --restart-after-reset does
  --hang-at N          answer request N as the other options say, then hang until unplugged:
                       answer nothing, carry nothing out, log what comes as ignored; the port
                       stays open
  --seed S             seed of the random faults (default 1)
  --fault-seed S       add a mix of faults drawn from S: up to three NAKs, a silence, a late
                       answer, split answers, an unplug at a request, leave at the final reset;
                       printed at start as the options that make it
  --fault-requests N   the requests the drawn faults fall on: 1 to N (default 24)
  --nak, --silence-at, --bad-fcs-at, --split-at and --late may be given more than once.

Output:
  --dump-flash FILE    write the flash image to FILE on SIGUSR1 and at exit
  --dump-log FILE      write the request log to FILE on SIGUSR1 and at exit
  --quiet              print nothing but errors
  --help               show this text

Exit status: 0 after SIGINT or SIGTERM, 1 on a runtime failure, 2 on a usage error.
)";
}

}  // namespace handset_sim
