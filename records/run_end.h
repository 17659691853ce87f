// The ways a download run ends: what its observers are told and its service record keeps.
#pragma once

// How a run ended. A run that got no answer may still go on when a late answer comes, and end
// again in another way.
enum class RunEnd {
  Completed,             // the final report, every erase and block confirmed by the handset
  CompletedUnconfirmed,  // the final report, but the handset did not confirm all that was sent
  NoAnswer,              // the handset fell silent and the run gave up waiting
  ReconnectFailed,       // the port could not be opened again after repeated silence
  ReconnectDeclined,     // the operator chose not to reconnect
  PortNotOpened,         // the run could not connect to the handset
  Refused,               // the font address or an image was refused before anything was sent
  NoDownloadType,        // the download type is none of the types: nothing was started
  HandsetLost,           // the port went away during the run
  ImageUnreadable,       // the image file shrank or went away during the run
  Closed,                // the operator closed the window during the run
};

const char* RunEndText(RunEnd end);
