// The entry point of the Windows test programs that do not bring their own: the programs are
// linked with -municode, so the C runtime starts them at wmain, and the platform's document
// service needs COM on the test thread.
#include <gtest/gtest.h>
#include <ole2.h>

int wmain(int argc, wchar_t** argv) {
    if (FAILED(OleInitialize(nullptr))) return 1;
    testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    OleUninitialize();
    return status;
}
