// The string table and the icons, whose PNG images are compiled in (see icon_data.cmake).
#include "platform/user/resources.h"
#include "resources/icon_data.h"
#include "resources/resource.h"
#include "resources/resources.h"

namespace resources {

void RegisterDialogs();

namespace {

const platform::IconResource kMainIcon = {IDR_MAINFRAME,
                                          {{16, kApp16Png, sizeof kApp16Png},
                                           {32, kApp32Png, sizeof kApp32Png},
                                           {48, kApp48Png, sizeof kApp48Png},
                                           {256, kApp256Png, sizeof kApp256Png}}};
const platform::IconResource kAboutIcon = {IDI_ABOUT, {{32, kAbout32Png, sizeof kAbout32Png}}};

}  // namespace

void RegisterResources() {
  RegisterDialogs();
  platform::RegisterIcon(&kMainIcon);
  platform::RegisterIcon(&kAboutIcon);
  platform::RegisterString(IDS_ABOUTBOX, "Flashgate 정보(&A)...");
}

}  // namespace resources
