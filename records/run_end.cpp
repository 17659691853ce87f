#include "records/run_end.h"

const char* RunEndText(RunEnd end) {
  switch (end) {
    case RunEnd::Completed: return "download completed";
    case RunEnd::CompletedUnconfirmed: return "download completed, not all of it confirmed by the handset";
    case RunEnd::NoAnswer: return "no answer from the handset";
    case RunEnd::ReconnectFailed: return "the reconnection failed";
    case RunEnd::ReconnectDeclined: return "the reconnection was declined";
    case RunEnd::PortNotOpened: return "the port could not be opened";
    case RunEnd::Refused: return "the image or the font address was refused";
    case RunEnd::NoDownloadType: return "no download type was chosen";
    case RunEnd::HandsetLost: return "the handset left during the run";
    case RunEnd::ImageUnreadable: return "the image could not be read during the run";
    case RunEnd::Closed: return "the window was closed during the run";
  }
  return "";
}
