// Registers the program's dialog templates, icons and strings with the platform.
#pragma once

namespace resources {

void RegisterResources();

}  // namespace resources
