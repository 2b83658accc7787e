#include <string>

#include <gtest/gtest.h>

#include "sources/messages/MessagesQueries.h"

namespace nudgerly {
namespace {

using namespace MessagesQueries;

// The statements as chat.db readers have always run them, pieced together from their fixed parts, so
// that a stray space or a reordered condition shows up here rather than as a quietly different count.
std::string predicate(const std::string& m, const std::string& c) {
    return "coalesce(" + c + ".is_recovered,0)=0\nAND coalesce(" + c +
           ".is_deleting_incoming_messages,0)=0\nAND NOT EXISTS (\n  SELECT 1 FROM chat_recoverable_message_join "
           "recoverable\n  WHERE recoverable.chat_id=" +
           c + ".ROWID\n    AND recoverable.message_id=" + m +
           ".ROWID\n)\nAND NOT EXISTS (\n  SELECT 1 FROM deleted_messages tombstone\n  WHERE tombstone.guid=" + m +
           ".guid\n)";
}

TEST(MessagesQueriesTests, StatementsAreExactlyTheKnownText) {
    const std::string w = "-30 days";
    const std::string p = predicate("m", "c");
    const std::string q = predicate("m", "filtered_chat");
    EXPECT_EQ(activeMessagePredicate("m", "c"), p);
    EXPECT_EQ(windowModifier(LookbackWindow::thirty), w);
    EXPECT_EQ(windowModifier(LookbackWindow::three), "-3 days");

    EXPECT_EQ(
        messageCount(LookbackWindow::thirty),
        "SELECT count(DISTINCT m.ROWID)\nFROM message m\nJOIN chat_message_join cmj ON cmj.message_id=m.ROWID\nJOIN "
        "chat c ON c.ROWID=cmj.chat_id\nWHERE m.date >= (strftime('%s','now','" +
            w + "')-978307200)*1000000000\n  AND coalesce(c.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n  AND " + p);
    EXPECT_EQ(
        activeConversations(LookbackWindow::thirty),
        "SELECT count(DISTINCT cmj.chat_id)\nFROM chat_message_join cmj\nJOIN message m ON "
        "m.ROWID=cmj.message_id\nJOIN chat c ON c.ROWID=cmj.chat_id\nWHERE m.date >= (strftime('%s','now','" +
            w + "')-978307200)*1000000000\n  AND coalesce(c.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n  AND " + p);
    EXPECT_EQ(inboundEndingCount(LookbackWindow::thirty),
              "WITH normal AS (\n  SELECT cmj.chat_id,m.is_from_me,\n         ROW_NUMBER() OVER(PARTITION BY "
              "cmj.chat_id ORDER BY m.date DESC,m.ROWID DESC) rn\n  FROM chat_message_join cmj\n  JOIN message m ON "
              "m.ROWID=cmj.message_id\n  JOIN chat c ON c.ROWID=cmj.chat_id\n  WHERE m.date >= (strftime('%s','now','" +
                  w +
                  "')-978307200)*1000000000\n    AND m.item_type=0 AND m.associated_message_type=0 AND "
                  "m.is_system_message=0\n    AND coalesce(c.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n    AND " +
                  p + "\n)\nSELECT count(*) FROM normal WHERE rn=1 AND is_from_me=0");
    EXPECT_EQ(
        chatList(LookbackWindow::thirty),
        "WITH normal AS (\n  SELECT cmj.chat_id,m.ROWID mid,m.date,m.is_from_me,\n         ROW_NUMBER() OVER(PARTITION "
        "BY cmj.chat_id ORDER BY m.date DESC,m.ROWID DESC) rn\n  FROM chat_message_join cmj\n  JOIN message m ON "
        "m.ROWID=cmj.message_id\n  JOIN chat filtered_chat ON filtered_chat.ROWID=cmj.chat_id\n  WHERE m.date >= "
        "(strftime('%s','now','" +
            w +
            "')-978307200)*1000000000\n    AND m.item_type=0 AND m.associated_message_type=0 AND "
            "m.is_system_message=0\n    AND coalesce(filtered_chat.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n    "
            "AND " +
            q +
            "\n), handles AS (\n  SELECT chat_id,count(*) handle_count FROM chat_handle_join GROUP BY "
            "chat_id\n)\nSELECT n.chat_id,n.mid,n.date,coalesce(c.display_name,''),coalesce(c.chat_identifier,''),\n   "
            "    coalesce((SELECT group_concat(h.id,', ')\n                 FROM chat_handle_join chj JOIN handle h ON "
            "h.ROWID=chj.handle_id\n                 WHERE "
            "chj.chat_id=n.chat_id),''),coalesce(handles.handle_count,0),\n       coalesce(latest_handle.id,'')\nFROM "
            "normal n JOIN chat c ON c.ROWID=n.chat_id\nLEFT JOIN handles ON handles.chat_id=n.chat_id\nLEFT JOIN "
            "message latest_message ON latest_message.ROWID=n.mid\nLEFT JOIN handle latest_handle ON "
            "latest_handle.ROWID=latest_message.handle_id\nWHERE n.rn=1 AND n.is_from_me=0\nORDER BY n.date DESC");
    EXPECT_EQ(chatMessages(LookbackWindow::thirty),
              "SELECT m.is_from_me,substr(m.text,1,1048576),\n       CASE WHEN length(m.attributedBody)<=1048576 THEN "
              "m.attributedBody END,m.date,m.ROWID,m.handle_id,\n       "
              "coalesce(m.balloon_bundle_id,''),m.payload_data,coalesce(sender_handle.id,'')\nFROM chat_message_join "
              "cmj\nJOIN message m ON m.ROWID=cmj.message_id\nJOIN chat c ON c.ROWID=cmj.chat_id\nLEFT JOIN handle "
              "sender_handle ON sender_handle.ROWID=m.handle_id\nWHERE cmj.chat_id=? AND m.item_type=0 AND "
              "m.associated_message_type=0\n  AND m.is_system_message=0\n  AND coalesce(m.is_spam,0)=0\n  AND " +
                  p + "\n  AND m.date >= (strftime('%s','now','" + w +
                  "')-978307200)*1000000000\nORDER BY m.date DESC,m.ROWID DESC LIMIT 24");
    EXPECT_EQ(stillActive(),
              "SELECT 1\nFROM chat_message_join cmj\nJOIN message m ON m.ROWID=cmj.message_id\nJOIN chat c ON "
              "c.ROWID=cmj.chat_id\nWHERE cmj.chat_id=? AND cmj.message_id=?\n  AND " +
                  p + "\nLIMIT 1");
}

}  // namespace
}  // namespace nudgerly
