// A process that has raised no error yet: rethrowing must still be defined.
#include "src/base/str.h"

#include <gtest/gtest.h>

TEST(Errors, RethrowBeforeAnyError) {
  EXPECT_EQ(LastError()->Expand().Std(), "An unknown error occurred.");
  try {
    RethrowError();
    FAIL();
  } catch (const TError& e) {
    EXPECT_STREQ(e.what(), "An unknown error occurred.");
  }
}
