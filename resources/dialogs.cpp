// The dialog templates, in dialog units, as the window system lays them out.
#include "platform/user/message_box.h"
#include "platform/user/resources.h"
#include "platform/user/window_messages.h"
#include "resources/resource.h"

namespace resources {
namespace {

using platform::ControlKind;
using platform::ControlTemplate;
using platform::DialogTemplate;

constexpr DWORD kVisible = WS_VISIBLE;
constexpr DWORD kShown = WS_VISIBLE | WS_TABSTOP;
constexpr DWORD kShownDisabled = WS_VISIBLE | WS_TABSTOP | WS_DISABLED;
constexpr DWORD kEdit = WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;

const DialogTemplate kAbout = {
    IDD_ABOUTBOX,
    "About ...",
    "굴림",
    9,
    179,
    55,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
    0,
    {
        {-1, ControlKind::StaticIcon, "135", 11, 17, 20, 20, kVisible, false, {}},
        {-1, ControlKind::Static, "Flashgate", 40, 10, 59, 8, kVisible, false, {}},
        {-1, ControlKind::Static, "© 2026 Flashgate developers", 40, 25, 119, 8, kVisible, false, {}},
        {IDOK, ControlKind::PushButton, "확인", 122, 7, 50, 14, kShown, true, {}},
    }};

const DialogTemplate kDownloader = {
    IDD_DOWNLOADER_DIALOG,
    "Flashgate",
    "굴림",
    9,
    275,
    323,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME,
    WS_EX_APPWINDOW,
    {
        {IDOK, ControlKind::PushButton, "확인", 168, 202, 50, 14, WS_TABSTOP, true, {}},
        {-1,
         ControlKind::Static,
         "Phone Binary",
         12,
         19,
         48,
         12,
         kVisible | SS_CENTER | SS_SUNKEN | SS_CENTERIMAGE,
         false,
         {}},
        {IDC_CODE, ControlKind::PushLikeCheckBox, "Code", 18, 35, 51, 16, kShown | BS_CENTER, false, {}},
        {IDC_FONT, ControlKind::PushLikeCheckBox, "Font", 18, 69, 51, 16, kShownDisabled | BS_CENTER, false, {}},
        {IDC_CODE_PATH, ControlKind::Edit, "", 73, 36, 136, 13, kEdit | ES_READONLY, false, {}},
        {IDC_FONT_PATH, ControlKind::Edit, "", 73, 71, 181, 13, kEdit | ES_READONLY | WS_DISABLED, false, {}},
        {IDC_CHANGE_BOOT_AREA,
         ControlKind::CheckBox,
         "Change Boot Area",
         211,
         35,
         45,
         18,
         kShownDisabled | BS_MULTILINE | BS_TOP,
         false,
         {}},
        {-1, ControlKind::Static, "Font Start Address : 0x", 132, 89, 76, 10, kVisible, false, {}},
        {IDC_FONT_ADDRESS, ControlKind::Edit, "", 209, 88, 45, 12, kEdit | WS_TABSTOP | WS_DISABLED, false, {}},
        {-1, ControlKind::StaticFrame, "", 11, 105, 245, 1, kVisible, false, {}},
        {IDC_CONTROL_GROUP, ControlKind::GroupBox, " Control ", 7, 7, 263, 167, kVisible, false, {}},
        {IDC_DOWNLOAD_TYPE_LABEL, ControlKind::Static, "Download Type : ", 13, 131, 60, 9, kVisible, false, {}},
        {IDC_DOWNLOAD_TYPE,
         ControlKind::ComboBox,
         "",
         72,
         129,
         81,
         36,
         kShownDisabled | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT,
         false,
         {"EMERGENCY", "NORMAL"}},
        {IDC_PORT_LABEL, ControlKind::Static, "Port : ", 7, 149, 64, 9, kVisible, false, {}},
        {IDC_PORT,
         ControlKind::ComboBox,
         "",
         72,
         147,
         81,
         76,
         kShown | WS_VSCROLL | CBS_DROPDOWN,
         false,
         {"COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",  "COM9",  "COM10",
          "COM11", "COM12", "COM13", "COM14", "COM15", "COM16", "COM17", "COM18", "COM19", "COM20"}},
        {IDC_DOWNLOAD, ControlKind::OwnerDrawButton, "Download", 163, 131, 88, 31, kShownDisabled, false, {}},
        {IDC_RUN_BAR, ControlKind::ProgressBar, "", 7, 176, 263, 16, kVisible | WS_BORDER, false, {}},
        {IDC_LOG,
         ControlKind::RichEdit,
         "",
         7,
         195,
         263,
         106,
         kShown | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | ES_READONLY | ES_WANTRETURN,
         false,
         {}},
        {IDC_ADDRESS, ControlKind::Edit, "", 7, 304, 126, 15, kEdit | WS_TABSTOP | WS_DISABLED, false, {}},
        {IDC_ELAPSED, ControlKind::Edit, "", 145, 304, 125, 15, kEdit | WS_TABSTOP | WS_DISABLED, false, {}},
        {IDC_IDLE_BAR, ControlKind::ProgressBar, "", 7, 175, 263, 16, kVisible | WS_BORDER, false, {}},
        {IDC_AUTO_DETECT, ControlKind::Edit, "", 71, 147, 87, 12, kEdit | WS_TABSTOP | WS_DISABLED, false, {}},
        {IDC_VERSION, ControlKind::Edit, "", 164, 53, 45, 12, kEdit | WS_TABSTOP | WS_DISABLED | ES_RIGHT, false, {}},
        {-1, ControlKind::Static, "Version :", 131, 55, 30, 11, kVisible, false, {}},
    }};

const DialogTemplate kModeChange = {
    IDD_MODE_CHANGE,
    nullptr,
    "System",
    9,
    149,
    36,
    WS_POPUP | WS_BORDER | DS_CENTER | DS_ABSALIGN,
    0,
    {
        {-1, ControlKind::GroupBox, "", 7, 2, 135, 28, kVisible, false, {}},
        {-1, ControlKind::Static, "    change to normal download mode ", 13, 14, 123, 9, kVisible, false, {}},
        {IDC_MODE_CHANGE_TEXT,
         ControlKind::Edit,
         "",
         136,
         7,
         6,
         12,
         WS_BORDER | ES_AUTOHSCROLL | ES_READONLY,
         false,
         {}},
    }};

const DialogTemplate kBootAreaConfirm = {
    IDD_BOOT_AREA_CONFIRM,
    "Change Boot Area",
    "System",
    10,
    177,
    39,
    WS_POPUP | WS_CAPTION,
    WS_EX_STATICEDGE,
    {
        {IDOK, ControlKind::PushButton, "Yes", 128, 7, 42, 11, kShownDisabled | BS_FLAT, true, {}},
        {IDCANCEL, ControlKind::PushButton, "No", 128, 21, 42, 11, kShown | BS_FLAT, false, {}},
        {IDC_CONFIRM_TEXT, ControlKind::Edit, "", 7, 20, 65, 12, WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, false, {}},
        {-1, ControlKind::Static, "Confirm by typing 'yes' below", 7, 7, 99, 12, kVisible, false, {}},
    }};

const DialogTemplate kRetry = {IDD_RETRY,
                               "Dialog",
                               "System",
                               10,
                               150,
                               66,
                               WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                               0,
                               {
                                   {IDOK, ControlKind::PushButton, "OK", 93, 7, 50, 14, kShown, true, {}},
                                   {IDCANCEL, ControlKind::PushButton, "Cancel", 93, 24, 50, 14, kShown, false, {}},
                                   {-1, ControlKind::Static, "retry", 32, 17, 43, 8, kVisible, false, {}},
                               }};

}  // namespace

void RegisterDialogs() {
  for (const DialogTemplate* dialog : {&kAbout, &kDownloader, &kModeChange, &kBootAreaConfirm, &kRetry}) {
    platform::RegisterDialogTemplate(dialog);
  }
}

}  // namespace resources
