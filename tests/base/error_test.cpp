#include "base/error.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace ostrel {
namespace {

// The report of what `raise` throws, as the dialog and the console converter describe it.
template <typename Raise>
ErrorReport ReportOf(Raise raise) {
    try {
        raise();
    } catch (...) {
        return DescribeCurrentException();
    }
    return {hr::kOk, L"nothing raised"};
}

TEST(DescribeCurrentException, GivesEveryExceptionACodeAndOneLine) {
    const ErrorReport own = ReportOf([] { RaiseError(hr::kInvalidArg, L"bad path\r\n"); });
    EXPECT_EQ(own.code, hr::kInvalidArg);
    EXPECT_EQ(own.description, L"bad path");
    // Without a description of its own, the platform's text for the code.
    const ErrorReport bare = ReportOf([] { RaiseError(hr::kOutOfMemory); });
    EXPECT_EQ(bare.code, hr::kOutOfMemory);
    EXPECT_EQ(bare.description, ReportOf([] { throw std::bad_alloc(); }).description);
    EXPECT_FALSE(bare.description.empty());
    const ErrorReport other = ReportOf([] { throw std::runtime_error("broken"); });
    EXPECT_EQ(other.code, hr::kFail);
    EXPECT_EQ(other.description, L"broken");
    const ErrorReport unknown = ReportOf([] { throw 42; });
    EXPECT_EQ(unknown.code, hr::kFail);
    EXPECT_FALSE(unknown.description.empty());
}

}  // namespace
}  // namespace ostrel
