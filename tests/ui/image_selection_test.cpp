// The Code and Font buttons with the file dialog: which files are taken, what the dialog
// starts in, and what switching a button off leaves.
#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include "platform/user/file_dialog.h"
#include "resources/resource.h"
#include "tests/download/run_fixture.h"
#include "ui/settings.h"

namespace testing_support {
namespace {

struct CodeChoice {
  const char* name;
  const char* chosen;  // the file name the operator picks or types; null: Cancel
  const char* taken;   // the file name the choice ends with; null: refused or cancelled
};

void PrintTo(const CodeChoice& choice, std::ostream* out) { *out << choice.name; }

class CodeChoices : public DownloadRun, public ::testing::WithParamInterface<CodeChoice> {};

TEST_P(CodeChoices, AreTakenOnlyWithTheBinExtension) {
  const CodeChoice& choice = GetParam();
  RunDialog([&] {
    if (choice.chosen) {
      AnswerFileDialog(files.File(choice.chosen));
    } else {
      script.Then([](CDialog&) { return IDCANCEL; });
    }
    dialog.GetDlgItem(IDC_CODE)->SendMessage(BM_CLICK);
    dialog.UpdateData(TRUE);

    const bool taken = choice.taken != nullptr;
    EXPECT_EQ(dialog.m_bCodeSelected, taken);
    EXPECT_EQ(dialog.m_nCodeCheck, taken ? 1 : 0) << "the button stays on only with a file taken";
    EXPECT_EQ(Enabled(IDC_DOWNLOAD), taken);
    EXPECT_EQ(Enabled(IDC_CHANGE_BOOT_AREA), taken);
    EXPECT_EQ(dialog.m_strVersion, taken ? "0" : "") << "no image has been read yet";
    EXPECT_EQ(ReadRegString(kCodeFolderValue), taken ? CString((files.Path() + "/").c_str()) : CString());
    if (taken) {
      EXPECT_EQ(dialog.m_strCodePathText, files.File(choice.taken).c_str());
      EXPECT_EQ(dialog.m_strCodePath, files.File(choice.taken).c_str());
    }
    const bool refused = choice.chosen && !taken;
    EXPECT_EQ(BoxTexts(),
              refused ? std::vector<std::string>{"다운로드용 파일이 아닙니다."} : std::vector<std::string>{});
  });
}

INSTANTIATE_TEST_SUITE_P(ImageSelection, CodeChoices,
                         ::testing::Values(CodeChoice{"UpperCaseBin", "PHONE.BIN", "PHONE.BIN"},
                                           CodeChoice{"Bin2", "phone.bin2", nullptr},
                                           CodeChoice{"Txt", "notes.txt", nullptr},
                                           CodeChoice{"TypedWithoutExtension", "newname", "newname.bin"},
                                           CodeChoice{"Cancelled", nullptr, nullptr}),
                         [](const ::testing::TestParamInfo<CodeChoice>& info) { return std::string(info.param.name); });

TEST_F(DownloadRun, TheFileDialogStartsInDriveCThenInTheLastFolder) {
  // The folder the file dialog is asked to start in, and the pattern it lists.
  const auto expectStart = [this](const std::string& folder) {
    script.Then([folder](CDialog& dialog) {
      const platform::FileDialogRequest request =
          platform::MakeFileDialogRequest(dynamic_cast<CFileDialog&>(dialog).m_ofn, true);
      EXPECT_EQ(request.folder, folder);
      EXPECT_EQ(request.name, "*.bin");
      EXPECT_EQ(request.defaultExt, "bin");
      EXPECT_EQ(request.filters.size(), 2u);
      return IDCANCEL;
    });
  };
  RunDialog([&] {
    CWnd* code = dialog.GetDlgItem(IDC_CODE);
    expectStart(files.Path() + "/");  // drive C is the test's folder
    code->SendMessage(BM_CLICK);
    SelectCode(files.File("sub/phone.bin"));
    code->SendMessage(BM_CLICK);
    expectStart(files.Path() + "/sub/");
    code->SendMessage(BM_CLICK);
    // A folder stored the Windows way is found below drive C.
    WriteRegString(kCodeFolderValue, "C:\\fw\\");
    expectStart(files.Path() + "/fw/");
    code->SendMessage(BM_CLICK);
  });
}

TEST_F(DownloadRun, SwitchingAButtonOffDropsItsChoice) {
  RunDialog([&] {
    SelectCode(files.File("code.bin"));
    SelectFont(files.File("font.bin"), "1A0000");
    dialog.m_nBootAreaCheck = 1;
    dialog.m_bBootArea = 1;
    dialog.UpdateData(FALSE);

    dialog.GetDlgItem(IDC_CODE)->SendMessage(BM_CLICK);
    EXPECT_TRUE(dialog.m_strCodePathText.IsEmpty());
    EXPECT_TRUE(dialog.m_strVersion.IsEmpty());
    EXPECT_EQ(dialog.GetDlgItem(IDC_CHANGE_BOOT_AREA)->SendMessage(BM_GETCHECK), BST_UNCHECKED);
    EXPECT_FALSE(Enabled(IDC_CHANGE_BOOT_AREA));
    EXPECT_EQ(dialog.m_bBootArea, 0);
    EXPECT_TRUE(Enabled(IDC_DOWNLOAD)) << "the font image is still chosen";

    dialog.GetDlgItem(IDC_FONT)->SendMessage(BM_CLICK);
    EXPECT_TRUE(dialog.m_strFontAddress.IsEmpty());
    EXPECT_FALSE(Enabled(IDC_FONT_ADDRESS));
    EXPECT_FALSE(Enabled(IDC_DOWNLOAD));

    // A cancelled font choice leaves the address closed too.
    script.Then([](CDialog&) { return IDCANCEL; });
    dialog.GetDlgItem(IDC_FONT)->SendMessage(BM_CLICK);
    EXPECT_FALSE(Enabled(IDC_FONT_ADDRESS));
    EXPECT_EQ(dialog.m_bFontSelected, 0);
  });
}

// The window system's own dialog: its filters, its folder, and a typed name with the
// default extension added.
TEST(FileDialog, TheWindowSystemsDialogListsTheFolderAndAddsTheExtension) {
  TempDir folder;
  QStringList filters;
  QString directory;
  QTimer::singleShot(0, [&] {
    auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!files) return;
    filters = files->nameFilters();
    directory = files->directory().absolutePath();
    files->selectFile(QStringLiteral("typed"));
    QMetaObject::invokeMethod(files, "accept", Qt::DirectConnection);
  });
  CFileDialog dialog(TRUE, "bin", (folder.Path() + "/*.bin").c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     "Phone Code File (*.bin)|*.bin|All Files (*.*)|*.*||");
  ASSERT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(filters, (QStringList{QStringLiteral("Phone Code File (*.bin)"), QStringLiteral("All Files (*)")}));
  EXPECT_EQ(directory.toStdString(), folder.Path());
  EXPECT_EQ(dialog.GetPathName(), (folder.Path() + "/typed.bin").c_str());
  EXPECT_EQ(dialog.GetFileName(), "typed.bin");
  EXPECT_EQ(dialog.GetFileExt(), "bin");
}

TEST_F(DownloadRun, ChangeBootAreaNeedsTheConfirmation) {
  const auto answer = [this](bool yes) {
    script.Then([yes](CDialog& confirm) {
      if (yes) confirm.GetDlgItem(IDC_CONFIRM_TEXT)->SetWindowText("YES");
      confirm.GetDlgItem(yes ? IDOK : IDCANCEL)->SendMessage(BM_CLICK);
      return 0;
    });
  };
  RunDialog([&] {
    SelectCode(WriteImage("code.bin", MakeImage({"CODE", 8192})));
    CWnd* box = dialog.GetDlgItem(IDC_CHANGE_BOOT_AREA);
    answer(false);
    box->SendMessage(BM_CLICK);
    EXPECT_EQ(box->SendMessage(BM_GETCHECK), BST_UNCHECKED);
    EXPECT_EQ(dialog.m_bBootArea, 0);

    answer(true);
    box->SendMessage(BM_CLICK);
    EXPECT_EQ(box->SendMessage(BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(dialog.m_bBootArea, 1);

    box->SendMessage(BM_CLICK);  // unticked: no question
    EXPECT_EQ(dialog.m_bBootArea, 0);
  });
}

}  // namespace
}  // namespace testing_support
