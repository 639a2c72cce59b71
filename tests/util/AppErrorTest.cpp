// The common error type: platform numbers and readable texts.
#include "util/AppError.h"

#include <gtest/gtest.h>

namespace orlenta {
namespace {

TEST(AppErrorTest, Win32ErrorKeepsNumberSourceAndSystemText) {
    const AppError error = AppError::FromWin32(ERROR_FILE_NOT_FOUND, "Orlenta");
    EXPECT_EQ(2, error.Number());
    EXPECT_EQ("Orlenta", error.Source());
    EXPECT_FALSE(error.Description().empty());
    EXPECT_NE('\n', error.Description().back());
}

TEST(AppErrorTest, HresultKeepsItsSignedNumber) {
    const AppError error = AppError::FromHresult(REGDB_E_CLASSNOTREG, "Orlenta");
    EXPECT_EQ(static_cast<long>(REGDB_E_CLASSNOTREG), error.Number());
    EXPECT_LT(error.Number(), 0);
    EXPECT_FALSE(error.Description().empty());
}

}  // namespace
}  // namespace orlenta
