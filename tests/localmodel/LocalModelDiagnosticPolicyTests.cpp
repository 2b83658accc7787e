#include <stdexcept>

#include <gtest/gtest.h>

#include "localmodel/LocalModelDiagnosticPolicy.h"
#include "localmodel/LocalModelError.h"

namespace nudgerly {
namespace {

TEST(LocalModelDiagnosticPolicyTests, MapsEveryFailureToACodeAndSentence) {
    using Kind = LocalModelError::Kind;
    const auto failure = [](Kind kind) { return std::make_exception_ptr(LocalModelError(kind)); };
    EXPECT_EQ(LocalModelDiagnosticPolicy::code(failure(Kind::contextTooLarge)), "context_too_large");
    EXPECT_EQ(LocalModelDiagnosticPolicy::userMessage(failure(Kind::contextTooLarge)),
              "A conversation was too large for Local AI to finish safely. Nudgerly used its local fallback for that "
              "conversation. Send feedback with technical details if this repeats.");
    // Two start-up failures: different codes, one sentence.
    EXPECT_EQ(LocalModelDiagnosticPolicy::code(failure(Kind::launchFailed)), "runtime_launch_failed");
    EXPECT_EQ(LocalModelDiagnosticPolicy::code(failure(Kind::startupTimedOut)), "runtime_startup_timeout");
    EXPECT_EQ(LocalModelDiagnosticPolicy::userMessage(failure(Kind::launchFailed)),
              LocalModelDiagnosticPolicy::userMessage(failure(Kind::startupTimedOut)));

    const std::string unexpected =
        "Local AI encountered an unexpected runtime error. Nudgerly used its safe local "
        "fallback. Send feedback with technical details if this repeats.";
    for (const std::exception_ptr& other :
         {std::exception_ptr(), std::make_exception_ptr(std::runtime_error("encoding")), std::make_exception_ptr(7)}) {
        EXPECT_EQ(LocalModelDiagnosticPolicy::code(other), "unexpected_error");
        EXPECT_EQ(LocalModelDiagnosticPolicy::userMessage(other), unexpected);
    }
}

}  // namespace
}  // namespace nudgerly
