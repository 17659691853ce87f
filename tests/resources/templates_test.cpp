// The fixed texts of every dialog template, against the documented ones: captions, labels,
// buttons and the items of the combo boxes, in template order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/user/resources.h"
#include "resources/resource.h"
#include "resources/resources.h"

namespace {

struct DocumentedTexts {
  UINT id;
  const char* caption;             // null: no caption bar
  std::vector<std::string> texts;  // every control's text that is not empty, in template order
};

std::vector<std::string> Ports() {
  std::vector<std::string> ports;
  for (int i = 1; i <= 20; ++i) ports.push_back("COM" + std::to_string(i));
  return ports;
}

std::vector<std::string> TextsOf(const platform::DialogTemplate& dialog) {
  std::vector<std::string> texts;
  for (const platform::ControlTemplate& control : dialog.controls) {
    if (control.kind != platform::ControlKind::StaticIcon && *control.text) texts.push_back(control.text);
  }
  return texts;
}

TEST(DialogTemplates, CarryTheDocumentedCaptionsAndTexts) {
  resources::RegisterResources();
  const DocumentedTexts documented[] = {
      // The about box's second line, the maker's notice, is the product's own.
      {IDD_ABOUTBOX, "About ...", {"Flashgate", "© 2026 Flashgate developers", "확인"}},
      {IDD_DOWNLOADER_DIALOG,
       "Flashgate",
       {"확인", "Phone Binary", "Code", "Font", "Change Boot Area", "Font Start Address : 0x", " Control ",
        "Download Type : ", "Port : ", "Download", "Version :"}},
      {IDD_MODE_CHANGE, nullptr, {"    change to normal download mode "}},
      {IDD_BOOT_AREA_CONFIRM, "Change Boot Area", {"Yes", "No", "Confirm by typing 'yes' below"}},
      {IDD_RETRY, "Dialog", {"OK", "Cancel", "retry"}},
  };
  for (const DocumentedTexts& expected : documented) {
    const platform::DialogTemplate* dialog = platform::FindDialogTemplate(expected.id);
    ASSERT_NE(dialog, nullptr) << expected.id;
    EXPECT_EQ(dialog->caption ? std::string(dialog->caption) : "<none>",
              expected.caption ? std::string(expected.caption) : "<none>")
        << expected.id;
    EXPECT_EQ(TextsOf(*dialog), expected.texts) << expected.id;
  }

  const platform::DialogTemplate* main = platform::FindDialogTemplate(IDD_DOWNLOADER_DIALOG);
  for (const platform::ControlTemplate& control : main->controls) {
    const std::vector<std::string> items(control.items.begin(), control.items.end());
    if (control.id == IDC_DOWNLOAD_TYPE) {
      EXPECT_EQ(items, (std::vector<std::string>{"EMERGENCY", "NORMAL"}));
    } else if (control.id == IDC_PORT) {
      EXPECT_EQ(items, Ports());
    } else {
      EXPECT_TRUE(items.empty()) << control.id;
    }
  }
}

}  // namespace
