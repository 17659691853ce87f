// The flashgate program run from the command line without a window, as a station script runs
// it: against handset stand-ins on pseudo-terminals, each a program of its own. Every wait is
// bounded; the handsets need real time to answer, so nothing here moves a clock.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/bytes.h"
#include "tests/support/child_process.h"
#include "tests/support/images.h"
#include "tests/support/pty_port.h"
#include "tests/support/read_file.h"
#include "tests/support/sanitized.h"
#include "tests/support/temp_dir.h"

namespace testing_support {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kRunLimit{90};

// A code image loaded at 0: the handset's flash ends up holding the whole file.
Bytes CodeImage(std::size_t size, BYTE salt) { return MakeImage({"CODE", static_cast<DWORD>(size), 0, 0, salt}); }

// Waits, at most five seconds, for what a handset stand-in makes as it comes on the bus.
bool Appears(const std::string& path) {
  struct stat info {};
  for (int waited = 0; lstat(path.c_str(), &info) != 0; waited += 10) {
    if (waited >= 5000) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

struct Outcome {
  std::optional<int> code;
  std::string out;
  std::string err;
};

class Station : public ::testing::Test {
 protected:
  Station() {
    for (const char* folder : {"ports", "dev", "state"}) mkdir(dir.File(folder).c_str(), 0700);
  }

  std::map<std::string, std::string> Environment() const {
    return {{"FLASHGATE_PORTS_DIR", dir.File("ports")},
            {"FLASHGATE_DEV_DIR", dir.File("dev")},
            {"FLASHGATE_REGISTRY", dir.File("registry.reg")},
            {"FLASHGATE_DRIVE_C", dir.Path()},
            {"XDG_STATE_HOME", dir.File("state")},
            {"XDG_RUNTIME_DIR", dir.Path()}};
  }

  std::string WriteImage(const std::string& name, const Bytes& bytes) const {
    const std::string path = dir.File(name);
    WriteBytes(path, bytes);
    return path;
  }

  // A handset on COM `port`; answers only once its link is in the port map.
  ChildProcess& StartHandset(int port, std::vector<std::string> options = {}) {
    const std::string name = "handset" + std::to_string(port);
    std::vector<std::string> command = {HANDSET_SIM_PROGRAM, "--port",       std::to_string(port),
                                        "--quiet",           "--dump-flash", dir.File(name + ".flash")};
    command.insert(command.end(), options.begin(), options.end());
    handsets.push_back(
        std::make_unique<ChildProcess>(command, Environment(), dir.File(name + ".out"), dir.File(name + ".err")));
    EXPECT_TRUE(Appears(dir.File("ports/com" + std::to_string(port)))) << "the handset never appeared on COM" << port;
    return *handsets.back();
  }

  // Ends the handset, which then writes its flash.
  Bytes FlashOf(ChildProcess& handset, int port) const {
    handset.Signal(SIGTERM);
    EXPECT_EQ(handset.Wait(seconds(10)), 0);
    const std::string flash = ReadWholeFile(dir.File("handset" + std::to_string(port) + ".flash"));
    return Bytes(flash.begin(), flash.end());
  }

  std::unique_ptr<ChildProcess> StartStation(const std::string& name, std::vector<std::string> options) const {
    options.insert(options.begin(), FLASHGATE_PROGRAM);
    return std::make_unique<ChildProcess>(options, Environment(), dir.File(name + ".out"), dir.File(name + ".err"));
  }

  Outcome Finish(ChildProcess& station, const std::string& name) const {
    Outcome outcome;
    outcome.code = station.Wait(kRunLimit);
    outcome.out = ReadWholeFile(dir.File(name + ".out"));
    outcome.err = ReadWholeFile(dir.File(name + ".err"));
    return outcome;
  }

  Outcome Run(std::vector<std::string> options) const {
    auto station = StartStation("station", std::move(options));
    return Finish(*station, "station");
  }

  std::vector<std::string> Records() const {
    std::vector<std::string> records;
    const std::string folder = dir.File("state/flashgate");
    if (!std::filesystem::exists(folder)) return records;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() == ".txt") records.push_back(ReadWholeFile(entry.path()));
    }
    return records;
  }

  TempDir dir;
  std::vector<std::unique_ptr<ChildProcess>> handsets;
};

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string ReadLink(const std::string& link) {
  std::error_code error;
  return std::filesystem::read_symlink(link, error).string();
}

TEST_F(Station, FlashesFourHandsetsAtOnce) {
  constexpr int kStations = 4;
  std::vector<Bytes> images;
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (int i = 0; i < kStations; ++i) {
    const int port = 3 + i;
    StartHandset(port);
    images.push_back(CodeImage(40000 + 9001 * i, static_cast<BYTE>(0x11 * i)));
    const std::string image = WriteImage("PHONE" + std::to_string(i) + ".bin", images.back());
    stations.push_back(
        StartStation("station" + std::to_string(i), {"--batch", "--port", std::to_string(port), "--code", image}));
  }
  for (int i = 0; i < kStations; ++i) {
    const Outcome outcome = Finish(*stations[i], "station" + std::to_string(i));
    EXPECT_EQ(outcome.code, 0) << outcome.err;
    EXPECT_TRUE(Has(outcome.out, "Code Only Binary.\n======================\nPhone Code Download\n")) << outcome.out;
    EXPECT_TRUE(Has(outcome.out, "\nFlash Programming 중  √\n")) << "a tick joins its line";
    EXPECT_TRUE(Has(outcome.out, "\nDownload Completed.\nElapsed time : ")) << outcome.out;
    EXPECT_TRUE(Has(outcome.err, "[message box] Download Completed.\n")) << outcome.err;
    EXPECT_FALSE(Has(outcome.out, "did not confirm")) << outcome.out;
    EXPECT_EQ(FlashOf(*handsets[i], 3 + i), images[i]) << "station " << i;
  }
  const std::vector<std::string> records = Records();
  ASSERT_EQ(records.size(), static_cast<size_t>(kStations));
  for (const std::string& record : records) {
    EXPECT_TRUE(Has(record, "\nEnd:            download completed\n")) << record;
    EXPECT_TRUE(Has(record, "\nMessage boxes:\n  Download Completed.\n\nLog:\n")) << record;
  }
}

struct OtherEnd {
  const char* name;
  std::vector<std::string> handset;  // options of a handset on COM3; none without
  std::vector<std::string> options;  // "IMAGE" stands for a good image, "BAD" for a refused one
  int code;
  const char* err;
  const char* out;
};

void PrintTo(const OtherEnd& end, std::ostream* out) { *out << end.name; }

class OtherEnds : public Station, public ::testing::WithParamInterface<OtherEnd> {};

TEST_P(OtherEnds, ExitWithTheirCodeAndReason) {
  const OtherEnd& end = GetParam();
  const std::string good = WriteImage("PHONE.bin", CodeImage(5 * 8192, 0));
  Bytes refused = CodeImage(20000, 0);
  refused[4] = 0x21;  // a first area longer than the file
  const std::string bad = WriteImage("BROKEN.bin", refused);
  if (!end.handset.empty()) StartHandset(3, end.handset);
  std::vector<std::string> options;
  for (const std::string& option : end.options)
    options.push_back(option == "IMAGE" ? good : option == "BAD" ? bad : option);

  const Outcome outcome = Run(options);
  EXPECT_EQ(outcome.code, end.code) << outcome.err;
  EXPECT_TRUE(Has(outcome.err, end.err)) << outcome.err;
  EXPECT_TRUE(Has(outcome.out, end.out)) << outcome.out;
}

const std::vector<std::string> kHandset = {"--return-delay", "0"};

INSTANTIATE_TEST_SUITE_P(
    Station, OtherEnds,
    ::testing::Values(
        OtherEnd{"BadOption",
                 {},
                 {"--batch", "--colour"},
                 2,
                 "flashgate: unknown option --colour\nTry 'flashgate --help'.",
                 ""},
        OtherEnd{"Help", {}, {"--help"}, 0, "", "  --batch "},
        OtherEnd{"NoHandset",
                 {},
                 {"--batch", "--port", "3", "--code", "IMAGE"},
                 5,
                 "flashgate: the port could not be opened\n",
                 "USB 연결 상태를 확인하세요.\n"},
        OtherEnd{"ImageNotABinFile",
                 kHandset,
                 {"--batch", "--port", "3", "--code", "notes.txt"},
                 6,
                 "flashgate: the image or the font address was refused: 다운로드용 파일이 아닙니다.\n",
                 ""},
        // The window would send the code image alone; a station is told so before anything is sent.
        OtherEnd{"CodeAndFont",
                 kHandset,
                 {"--batch", "--port", "3", "--code", "IMAGE", "--font", "IMAGE", "--font-address", "1A0000"},
                 2,
                 "flashgate: --batch sends one image per run: give --code or --font, not both\n",
                 ""},
        OtherEnd{"ReportNotWritable",
                 kHandset,
                 {"--batch", "--port", "3", "--code", "IMAGE", "--report", "/nonexistent/run.html"},
                 2,
                 "flashgate: the run report cannot be written to /nonexistent/run.html: its folder is not there\n",
                 ""},
        OtherEnd{"ImageRefused",
                 kHandset,
                 {"--batch", "--port", "3", "--code", "BAD"},
                 6,
                 "refused: image header gives 20001 bytes, the file has 20000\n",
                 ""},
        // An interrupted copy: the font's area runs past the file's end.
        OtherEnd{"FontImageCutShort",
                 kHandset,
                 {"--batch", "--port", "3", "--font", "BAD", "--font-address", "0"},
                 6,
                 "refused: image header gives 20001 bytes, the file has 20000\n",
                 ""},
        OtherEnd{"FontAddressMissing",
                 kHandset,
                 {"--batch", "--port", "3", "--font", "IMAGE"},
                 6,
                 "refused: Font Address를 입력하세요!\n",
                 ""},
        OtherEnd{"SilentHandset",
                 {"--silence-at", "8"},
                 {"--batch", "--port", "3", "--code", "IMAGE", "--stall-timeout", "1"},
                 3,
                 "flashgate: the handset has confirmed nothing for 1 s\nflashgate: no answer from the handset\n",
                 "Flash Programming 중"},
        // The NAKed block and the two after it go unanswered, though the handset writes them:
        // the station answers the reconnection question itself and the run goes on to the end,
        // but those three blocks were never confirmed.
        OtherEnd{"ReconnectsAfterRepeatedSilence",
                 {"--nak", "A1@8", "--silence-at", "9", "--silence-at", "10", "--silence-at", "11"},
                 {"--batch", "--port", "3", "--code", "IMAGE"},
                 8,
                 "flashgate: download completed, not all of it confirmed by the handset: The handset did not "
                 "confirm 3 of 5 blocks (the first at 0x2000): download it again.\n",
                 "\n다시 시작!!!!!"},
        OtherEnd{"HandsetLeaves",
                 {"--unplug-at-block", "2", "--no-return"},
                 {"--batch", "--port", "3", "--code", "IMAGE"},
                 7,
                 "flashgate: the handset left during the run\n",
                 "Flash Programming 중"}),
    [](const ::testing::TestParamInfo<OtherEnd>& info) { return std::string(info.param.name); });

// A new user's first start: a home folder with nothing in it, none of the program's variables
// set, and a handset that appears as udev makes it (the node, then its names). The port map and
// the records are made on the way, and the handset is flashed on COM3. The station asked for the
// run's report and a frame trace too.
TEST_F(Station, AFreshAccountFlashesItsFirstHandset) {
  const std::string home = dir.File("home");
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  const std::map<std::string, std::string> account = {{"HOME", home},
                                                      {"FLASHGATE_DEV_DIR", dir.File("dev")},
                                                      {"FLASHGATE_PORTS_DIR", ""},
                                                      {"FLASHGATE_REGISTRY", ""},
                                                      {"FLASHGATE_DRIVE_C", ""},
                                                      {"XDG_STATE_HOME", ""},
                                                      {"XDG_RUNTIME_DIR", dir.Path()}};
  ChildProcess handset(
      {HANDSET_SIM_PROGRAM, "--dev-dir", dir.File("dev"), "--node", "ttyACM0", "--by-id", "usb-Korvant_Handset_1-if00",
       "--by-path", "pci-0000:00:14.0-usb-0:1:1.0", "--quiet", "--dump-flash", dir.File("handset.flash")},
      account, dir.File("handset.out"), dir.File("handset.err"));
  ASSERT_TRUE(Appears(dir.File("dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0"))) << "the handset never appeared";
  const Bytes image = CodeImage(2 * 8192 + 5, 0x3C);
  ChildProcess station({FLASHGATE_PROGRAM, "--batch", "--port", "3", "--code", WriteImage("PHONE.bin", image),
                        "--report", dir.File("run.html"), "--trace", dir.File("run.trace")},
                       account, dir.File("station.out"), dir.File("station.err"));
  const Outcome outcome = Finish(station, "station");
  EXPECT_EQ(outcome.code, 0) << outcome.err << outcome.out;
  EXPECT_EQ(ReadLink(home + "/.config/flashgate/ports/com3"), dir.File("dev/serial/by-id/usb-Korvant_Handset_1-if00"));
  std::set<std::string> records;
  for (const auto& entry : std::filesystem::directory_iterator(home + "/.local/state/flashgate")) {
    records.insert(entry.path().extension());
  }
  EXPECT_EQ(records, (std::set<std::string>{".txt", ".html"}));
  const std::string report = ReadWholeFile(dir.File("run.html"));
  EXPECT_NE(report.find("<p class=\"verdict good\">Download completed.</p>"), std::string::npos) << report;
  EXPECT_NE(report.find("confirmed at once: <b class=\"count-once\">3</b>"), std::string::npos) << report;
  const std::string trace = ReadWholeFile(dir.File("run.trace"));
  for (const char* frame : {" TX  8298 WRITE offset=0x0 count=8192 fcs=ok\n", "WRITE offset=0x4000 count=5 fcs=ok\n",
                            " RX     4 ACK fcs=ok\n"}) {
    EXPECT_NE(trace.find(frame), std::string::npos) << frame << " in\n" << trace;
  }
  handset.Signal(SIGTERM);
  EXPECT_EQ(handset.Wait(seconds(10)), 0);
  const std::string flash = ReadWholeFile(dir.File("handset.flash"));
  EXPECT_EQ(Bytes(flash.begin(), flash.end()), image);
}

// A port folder that cannot be made: a station does not start, and says why.
TEST_F(Station, AStationWhosePortsCannotBeWatchedDoesNotStart) {
  const std::string home = dir.File("home");
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  std::ofstream(home + "/.config") << "a file where the folder should be";
  std::map<std::string, std::string> account = Environment();
  account["HOME"] = home;
  account["FLASHGATE_PORTS_DIR"] = "";
  ChildProcess station(
      {FLASHGATE_PROGRAM, "--batch", "--port", "3", "--code", WriteImage("PHONE.bin", CodeImage(8192, 0))}, account,
      dir.File("station.out"), dir.File("station.err"));
  const Outcome outcome = Finish(station, "station");
  EXPECT_EQ(outcome.code, 5);
  const std::string why = "Cannot make the port folder " + home + "/.config/flashgate/ports: Not a directory.";
  // Only that: what a sanitizer adds at exit comes after it.
  EXPECT_EQ(outcome.err.rfind("flashgate: the port could not be opened: " + why + "\n", 0), 0u) << outcome.err;
  EXPECT_EQ(outcome.out, why + "\n") << "the log's red line";
  EXPECT_TRUE(Records().empty()) << "no run started";
}

// `options` with its suppressions file, if it names one, copied into `dir` for anyone to read.
std::string WithSuppressionsIn(const std::string& options, const TempDir& dir, const std::string& name) {
  const std::string key = "suppressions=";
  const std::size_t at = options.find(key);
  if (at == std::string::npos) return options;
  const std::size_t from = at + key.size();
  const std::size_t to = std::min(options.find_first_of(": ", from), options.size());
  const std::string copy = dir.File(name + ".supp");
  std::filesystem::copy_file(options.substr(from, to - from), copy);
  chmod(copy.c_str(), 0644);
  return options.substr(0, from) + copy + options.substr(to);
}

// A technician who is not in the port's group is told so, as an unprivileged user meets it: the
// port is a device of root:dialout, mode 0660, and the station runs as nobody.
TEST_F(Station, APortTheUserMayNotOpenNamesTheGroupThatMay) {
  const group* dialout = getgrnam("dialout");
  if (getuid() != 0 || !dialout || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, setpriv and a group dialout, to run the station as nobody";
  const PtyPair port;
  const char* device = port.SlavePath().c_str();
  ASSERT_EQ(chown(device, 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(device, 0660), 0);
  ASSERT_EQ(symlink(device, dir.File("ports/com3").c_str()), 0);
  for (const std::string& folder : {dir.Path(), dir.File("ports"), dir.File("dev"), dir.File("state")})
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  const std::string image = WriteImage("PHONE.bin", CodeImage(8192, 0));
  // nobody cannot reach a build tree in a private folder (a home is 0700): the program and the
  // sanitizers' suppressions go where it can.
  std::map<std::string, std::string> environment = Environment();
  const std::string program = dir.File("flashgate");
  std::filesystem::copy_file(FLASHGATE_PROGRAM, program);
  for (const char* name : {"TSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* options = std::getenv(name)) environment[name] = WithSuppressionsIn(options, dir, name);
  }

  ChildProcess station({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", program, "--batch",
                        "--port", "3", "--code", image},
                       environment, dir.File("station.out"), dir.File("station.err"));
  const Outcome outcome = Finish(station, "station");
  EXPECT_EQ(outcome.code, 5) << outcome.err;
  EXPECT_TRUE(Has(outcome.out, "USB 연결 상태를 확인하세요.\nCOM3 (" + std::string(device) +
                                   "): permission denied. The user must be in the group \"dialout\" (then log in "
                                   "again).\n"))
      << outcome.out;
}

// Two stations start NORMAL at once. Their handsets come back from the restart on new nodes
// under new USB identities, one after the other, each in its own socket: each station follows
// its own handset, and each handset gets its own image.
TEST_F(Station, TwoNormalStationsEachFollowTheirOwnHandset) {
  struct Seat {
    const char* name;
    const char* node;
    const char* returnNode;
    const char* socket;
    const char* returnDelay;
  };
  const Seat seats[] = {{"a", "ttyACM0", "ttyACM2", "pci-0000:00:14.0-usb-0:1:1.0", "300"},
                        {"b", "ttyACM1", "ttyACM3", "pci-0000:00:14.0-usb-0:2:1.0", "900"}};
  std::vector<Bytes> images;
  for (const Seat& seat : seats) {
    const std::string name = seat.name;
    handsets.push_back(std::make_unique<ChildProcess>(std::vector<std::string>{HANDSET_SIM_PROGRAM,
                                                                               "--dev-dir",
                                                                               dir.File("dev"),
                                                                               "--node",
                                                                               seat.node,
                                                                               "--by-id",
                                                                               "usb-Korvant_Handset_" + name + "-if00",
                                                                               "--by-path",
                                                                               seat.socket,
                                                                               "--return-node",
                                                                               seat.returnNode,
                                                                               "--return-by-id",
                                                                               "usb-Korvant_Download_" + name + "-if00",
                                                                               "--mode",
                                                                               "normal",
                                                                               "--return-delay",
                                                                               seat.returnDelay,
                                                                               "--quiet",
                                                                               "--dump-flash",
                                                                               dir.File(name + ".flash")},
                                                      Environment(), dir.File(name + ".out"), dir.File(name + ".err")));
    ASSERT_TRUE(Appears(dir.File(std::string("dev/serial/by-path/") + seat.socket)))
        << "handset " << name << " never appeared";
    images.push_back(CodeImage(3 * 8192 + 100 * images.size(), static_cast<BYTE>(0x21 + images.size())));
  }
  // The stations' device watchers number the handsets they find in node order: COM3 and COM4.
  std::vector<std::unique_ptr<ChildProcess>> stations;
  for (std::size_t i = 0; i < 2; ++i) {
    stations.push_back(
        StartStation(seats[i].name, {"--batch", "--type", "normal", "--port", std::to_string(3 + i), "--code",
                                     WriteImage(seats[i].name + std::string(".bin"), images[i])}));
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const Outcome outcome = Finish(*stations[i], seats[i].name);
    EXPECT_EQ(outcome.code, 0) << seats[i].name << ":\n" << outcome.err << outcome.out;
    handsets[i]->Signal(SIGTERM);
    EXPECT_EQ(handsets[i]->Wait(seconds(10)), 0);
    const std::string flash = ReadWholeFile(dir.File(seats[i].name + std::string(".flash")));
    EXPECT_EQ(Bytes(flash.begin(), flash.end()), images[i]) << "handset " << seats[i].name;
  }
}

// The handset restarts into download mode on another port; the station follows it there.
TEST_F(Station, TheNormalTypeFollowsItsHandsetToItsNewPort) {
  if (kSanitized)
    GTEST_SKIP() << "two stations follow their handsets under the sanitizers; one runs in the normal build";
  StartHandset(3, {"--mode", "normal", "--return-port", "7", "--return-delay", "500"});
  const Bytes image = CodeImage(3 * 8192, 0x5A);
  const Outcome outcome = Run({"--batch", "--type", "normal", "--port", "3", "--code", WriteImage("PHONE.bin", image)});
  EXPECT_EQ(outcome.code, 0) << outcome.err << outcome.out;
  EXPECT_EQ(FlashOf(*handsets.back(), 3), image);
}

// What a script learns of the ports: a handset in a socket udev names, one on a port of the map
// alone, and a program that holds the first open.
TEST_F(Station, ListPortsTellsEachPortsDeviceNamesAndHolders) {
  const std::string socket = "pci-0000:00:14.0-usb-0:1:1.0";
  handsets.push_back(std::make_unique<ChildProcess>(
      std::vector<std::string>{HANDSET_SIM_PROGRAM, "--dev-dir", dir.File("dev"), "--node", "ttyACM0", "--by-id",
                               "usb-Korvant_Handset_a-if00", "--by-path", socket, "--quiet"},
      Environment(), dir.File("a.out"), dir.File("a.err")));
  ASSERT_TRUE(Appears(dir.File("dev/serial/by-path/" + socket)));
  StartHandset(9);
  const std::string device = std::filesystem::canonical(dir.File("dev/ttyACM0")).string();
  ChildProcess holder({"/bin/sh", "-c", "exec sleep 60 3<>" + device}, {}, dir.File("holder.out"),
                      dir.File("holder.err"));
  ASSERT_TRUE(Appears("/proc/" + std::to_string(holder.Pid()) + "/fd/3")) << "the holder never opened the port";

  const Outcome listed = Run({"--list-ports", "--json"});
  ASSERT_EQ(listed.code, 0) << listed.err;
  std::vector<nlohmann::json> lines;
  std::istringstream in(listed.out);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  const nlohmann::json held = {{{"pid", holder.Pid()}, {"name", "sleep"}}};
  EXPECT_EQ(lines,
            (std::vector<nlohmann::json>{{{"v", 1},
                                          {"port", "COM3"},
                                          {"number", 3},
                                          {"device", device},
                                          {"byId", "usb-Korvant_Handset_a-if00"},
                                          {"byPath", socket},
                                          {"holders", held}},
                                         {{"v", 1},
                                          {"port", "COM9"},
                                          {"number", 9},
                                          {"device", std::filesystem::canonical(dir.File("ports/com9")).string()},
                                          {"byId", nullptr},
                                          {"byPath", nullptr},
                                          {"holders", nlohmann::json::array()}}}));
  const Outcome shown = Run({"--list-ports"});
  EXPECT_TRUE(Has(shown.out, "COM3  " + device + "\n  by-id    usb-Korvant_Handset_a-if00\n  by-path  " + socket +
                                 "\n  held by  sleep (pid " + std::to_string(holder.Pid()) + ")\nCOM9  "))
      << shown.out;
}

}  // namespace
}  // namespace testing_support
