// The application: start-up, OLE, and the main dialog run modally.
#pragma once

#include "win/application.h"

namespace ostrel::app {

// No help command is routed: the program has no help file and no window of the application's
// own that could receive ID_HELP.
class COstrelApp : public win::Application {
  public:
    COstrelApp() = default;
    ~COstrelApp() override = default;

    // Initialises the common controls and OLE, then runs the main dialog modally. Always FALSE:
    // the process ends when the dialog does (or after the "Ole Init Failed" box).
    BOOL InitInstance() override;
};

}  // namespace ostrel::app
