#include "platform/user/message_box.h"

#include <gtest/gtest.h>

#include "tests/support/message_box_recorder.h"

namespace {

using testing_support::MessageBoxRecorder;

TEST(MessageBox, TheApplicationBoxTakesTheAppNameAndAnIconWhenNoneIsGiven) {
  MessageBoxRecorder recorder(IDCANCEL);
  EXPECT_EQ(AfxMessageBox("Download Completed.", MB_OK), IDCANCEL) << "the handler's answer comes back";
  EXPECT_EQ(AfxMessageBox("question", MB_YESNO), IDCANCEL);
  EXPECT_EQ(AfxMessageBox("info", MB_ICONINFORMATION), IDCANCEL);
  ASSERT_EQ(recorder.boxes.size(), 3u);
  EXPECT_EQ(recorder.boxes[0].text, "Download Completed.");
  EXPECT_EQ(recorder.boxes[0].caption, AfxGetAppName());
  EXPECT_EQ(recorder.boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(recorder.boxes[1].type, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(recorder.boxes[2].type, MB_ICONINFORMATION);
}

TEST(MessageBox, APlainBoxKeepsItsOwnCaptionAndNoIcon) {
  MessageBoxRecorder recorder;
  EXPECT_EQ(MessageBox(nullptr, "Downloading completed\n00:01:02", "Flashgate", MB_OK), IDOK);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].caption, "Flashgate");
  EXPECT_EQ(recorder.boxes[0].type, MB_OK);
}

TEST(MessageBox, HandlersNestAndTheEarlierOneComesBack) {
  MessageBoxRecorder outer;
  {
    MessageBoxRecorder inner;
    AfxMessageBox("inner");
    EXPECT_EQ(inner.boxes.size(), 1u);
  }
  AfxMessageBox("outer");
  ASSERT_EQ(outer.boxes.size(), 1u);
  EXPECT_EQ(outer.boxes[0].text, "outer");
}

TEST(MessageBox, AppNameDefaultsToTheExecutable) { EXPECT_STREQ(AfxGetAppName(), "platform_tests"); }

}  // namespace
