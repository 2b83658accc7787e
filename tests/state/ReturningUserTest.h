#pragma once

#include <chrono>

#include <gtest/gtest.h>

#include "RefreshTestSupport.h"

namespace nudgerly::test {

// A state object over the harness for a returning user (both queues saved), with the ways the Contacts
// and permission tests move it along.
class ReturningUserTest : public ::testing::Test {
protected:
    AppStateHarness harness;

    void SetUp() override { returningUser(harness); }

    AppState& app() { return harness.app(); }
    const PublishedState& state() { return harness.app().state(); }
    // The store announces a change; the state object hears it on the main queue.
    void contactsChange() {
        harness.contacts->announceChange();
        harness.queue.drain();
    }
    // Lets virtual time pass, running the jobs that fall due on the way.
    void wait(std::chrono::milliseconds duration) {
        harness.queue.advance(duration);
        harness.settle();
    }
    // Contacts notifications that change nothing are no longer ignored.
    void pastGracePeriod() { wait(std::chrono::seconds(5)); }
};

}  // namespace nudgerly::test
