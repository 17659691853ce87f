// The service record of a run, as a technician finds it in the records folder afterwards: what
// was sent where, how the run ended (each time it ended), and its whole log.
#include <sstream>

#include "link/commands.h"
#include "records/sha256.h"
#include "tests/download/run_fixture.h"
#include "tests/support/read_file.h"
#include "ui/run_recorder.h"

namespace testing_support {
namespace {

using handset_sim::Fault;
using handset_sim::FaultRule;

std::string LineStarting(const std::string& text, const std::string& prefix) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) return line;
  }
  return "<no " + prefix + ">";
}

TEST_F(DownloadRun, ARunThatFellSilentAndWentOnIsRecordedWithBothEnds) {
  handset_sim::Config config;
  config.faults = {FaultRule{Fault::Silence, 0, 1, 0.0}, FaultRule{Fault::Silence, 0, 2, 0.0},
                   FaultRule{Fault::Silence, 0, 3, 0.0}};
  StartHandset(config);
  const Bytes image = MakeImage({"CODE", 20000});
  const std::string path = WriteImage("PHONE.bin", image);
  CRunRecorder recorder{RecordStore(files.File("records"))};
  dialog.AddRunObserver(&recorder);

  RunDialog([&] {
    SelectCode(path);
    // Chosen as well, but a run sends the code image alone: the record names only that.
    SelectFont(WriteImage("KOR.bin", MakeImage({"STRS", 8192})), "1A0000");
    PressDownload();
    const std::string record = recorder.LastRecordPath();
    EXPECT_EQ(LineStarting(ReadWholeFile(record), "End:"), "End:            under way") << "saved from the start";
    for (std::uint64_t request = 1; request <= 3; ++request) {
      ASSERT_TRUE(PumpUntilRequests(request));
      Elapse(3000);
    }
    EXPECT_EQ(LineStarting(ReadWholeFile(record), "End:"), "End:            no answer from the handset");
    handset->AnswerNow(ACK);
    ASSERT_TRUE(PumpUntilBox("Downloading completed\n"));

    const std::string text = ReadWholeFile(record);
    Sha256 digest;
    digest.Update(image.data(), image.size());
    CString log;
    dialog.m_log.GetWindowText(log);
    EXPECT_EQ(LineStarting(text, "Port:"), "Port:           COM3 (" + handset->SlavePath() + ")");
    EXPECT_EQ(LineStarting(text, "Download type:"), "Download type:  EMERGENCY");
    EXPECT_EQ(LineStarting(text, "Code image:"), "Code image:     " + path);
    EXPECT_EQ(LineStarting(text, "  Size:"), "  Size:         20000 bytes");
    EXPECT_EQ(LineStarting(text, "  SHA-256:"), "  SHA-256:      " + digest.HexDigest());
    EXPECT_EQ(LineStarting(text, "Font image:"), "Font image:     none");
    EXPECT_EQ(LineStarting(text, "End:"),
              "End:            no answer from the handset; then download completed, not all of it confirmed by the "
              "handset");
    EXPECT_EQ(text.substr(text.find("\nLog:\n") + 5), log.str() + "\n");
  });
  dialog.RemoveRunObserver(&recorder);
}

}  // namespace
}  // namespace testing_support
