#include "win/ole.h"

#include <ole2.h>

namespace ostrel::win {

OleInitialization::OleInitialization() : result_(OleInitialize(nullptr)) {}

OleInitialization::~OleInitialization() {
    if (Succeeded()) OleUninitialize();
}

}  // namespace ostrel::win
