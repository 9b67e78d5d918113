#include "base/stop_requests.h"

namespace ostrel {

// A console's Ctrl-C still ends the program at once: nothing is held here yet.
StopRequestsHeld::StopRequestsHeld(Release release) noexcept : release_(release) {}

StopRequestsHeld::~StopRequestsHeld() = default;

bool StopRequested() noexcept { return false; }

}  // namespace ostrel
