#include <cstdlib>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "files/TempDir.h"
#include "sources/messages/MessagesDatabasePath.h"
#include "sources/messages/MessagesPermission.h"
#include "support/TestEnvironment.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

const fs::path& isolatedHome = test::isolateUserFolders();

void createDatabase(const fs::path& path) {
    fs::create_directories(path.parent_path());
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &database), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(database, "CREATE TABLE message (ROWID INTEGER PRIMARY KEY)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(database);
}

class MessagesPermissionTest : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("NUDGERLY_MESSAGES_DATABASE"); }
};

TEST_F(MessagesPermissionTest, TheDatabaseIsInTheHomeFolderUnlessTheEnvironmentSaysOtherwise) {
    EXPECT_EQ(messagesDatabasePath(), isolatedHome / "Library/Messages/chat.db");
    ::setenv("NUDGERLY_MESSAGES_DATABASE", "", 1);
    EXPECT_EQ(messagesDatabasePath(), isolatedHome / "Library/Messages/chat.db");
    ::setenv("NUDGERLY_MESSAGES_DATABASE", "/copies/chat.db", 1);
    EXPECT_EQ(messagesDatabasePath(), "/copies/chat.db");
}

TEST_F(MessagesPermissionTest, GrantedWhenTheDatabaseOpensForReading) {
    EXPECT_EQ(currentMessagesPermission(), MessagesPermission::denied);  // nothing at the home path yet
    createDatabase(isolatedHome / "Library/Messages/chat.db");
    EXPECT_EQ(currentMessagesPermission(), MessagesPermission::granted);

    test::TempDir elsewhere;
    ::setenv("NUDGERLY_MESSAGES_DATABASE", (elsewhere / "copy.db").c_str(), 1);
    EXPECT_EQ(currentMessagesPermission(), MessagesPermission::denied);
    createDatabase(elsewhere / "copy.db");
    EXPECT_EQ(currentMessagesPermission(), MessagesPermission::granted);
    EXPECT_FALSE(fs::exists(elsewhere / "missing.db"));
    EXPECT_EQ(currentMessagesPermission(elsewhere / "missing.db"), MessagesPermission::denied);
    EXPECT_FALSE(fs::exists(elsewhere / "missing.db"));  // probing creates nothing
    // A file that opens but is no database still counts: the reader reports that one.
    test::writeTestFile(elsewhere / "notes.db", "not a database");
    EXPECT_EQ(currentMessagesPermission(elsewhere / "notes.db"), MessagesPermission::granted);
}

}  // namespace
}  // namespace nudgerly
