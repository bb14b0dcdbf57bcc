#include "app/base/result.h"

#include <gtest/gtest.h>

#include <string>

namespace stampwise {
namespace {

TEST(ResultTest, SuccessCarriesTheValueAndNoMessage) {
  Result<std::string> result = std::string("0815");
  ASSERT_TRUE(result.ok());
  EXPECT_TRUE(static_cast<bool>(result));
  EXPECT_EQ(result.value(), "0815");
  EXPECT_EQ(result.message().id, 0);
  EXPECT_EQ(std::move(result).value(), "0815");
}

TEST(ResultTest, FailureCarriesTheMessageAndRefusesTheValue) {
  const Result<int> result = Result<int>::Failure({32857, "Kein Wert", 1006});
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.message().id, 32857);
  EXPECT_EQ(result.message().text, "Kein Wert");
  EXPECT_EQ(result.message().controlId, 1006);
  EXPECT_THROW(static_cast<void>(result.value()), std::logic_error);
}

TEST(ResultTest, StatusTellsOnlySuccessOrItsMessage) {
  const Status done = Done{};
  const Status failed = Status::Failure({61714, "range", 0});
  EXPECT_TRUE(done.ok());
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(failed.message().id, 61714);
}

}  // namespace
}  // namespace stampwise
