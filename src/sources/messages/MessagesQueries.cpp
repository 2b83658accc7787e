#include "sources/messages/MessagesQueries.h"

#include "core/RawEnum.h"
#include "sources/messages/MessagePayloads.h"

namespace nudgerly::MessagesQueries {
namespace {

// m.date >= the window's start, in the database's nanoseconds since 2001.
std::string inWindow(LookbackWindow window) {
    return "m.date >= (strftime('%s','now','" + windowModifier(window) + "')-978307200)*1000000000";
}

std::string counted(std::string_view selection, LookbackWindow window) {
    return std::string(selection) + "\nWHERE " + inWindow(window) +
           "\n  AND coalesce(c.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n  AND " + activeMessagePredicate("m", "c");
}

}  // namespace

std::string activeMessagePredicate(std::string_view messageAlias, std::string_view chatAlias) {
    const std::string m(messageAlias);
    const std::string c(chatAlias);
    return "coalesce(" + c +
           ".is_recovered,0)=0\n"
           "AND coalesce(" +
           c +
           ".is_deleting_incoming_messages,0)=0\n"
           "AND NOT EXISTS (\n"
           "  SELECT 1 FROM chat_recoverable_message_join recoverable\n"
           "  WHERE recoverable.chat_id=" +
           c +
           ".ROWID\n"
           "    AND recoverable.message_id=" +
           m +
           ".ROWID\n"
           ")\n"
           "AND NOT EXISTS (\n"
           "  SELECT 1 FROM deleted_messages tombstone\n"
           "  WHERE tombstone.guid=" +
           m +
           ".guid\n"
           ")";
}

std::string windowModifier(LookbackWindow window) {
    return "-" + std::to_string(toRaw(window)) + " days";
}

std::string messageCount(LookbackWindow window) {
    return counted(
        "SELECT count(DISTINCT m.ROWID)\n"
        "FROM message m\n"
        "JOIN chat_message_join cmj ON cmj.message_id=m.ROWID\n"
        "JOIN chat c ON c.ROWID=cmj.chat_id",
        window);
}

std::string activeConversations(LookbackWindow window) {
    return counted(
        "SELECT count(DISTINCT cmj.chat_id)\n"
        "FROM chat_message_join cmj\n"
        "JOIN message m ON m.ROWID=cmj.message_id\n"
        "JOIN chat c ON c.ROWID=cmj.chat_id",
        window);
}

std::string inboundEndingCount(LookbackWindow window) {
    return "WITH normal AS (\n"
           "  SELECT cmj.chat_id,m.is_from_me,\n"
           "         ROW_NUMBER() OVER(PARTITION BY cmj.chat_id ORDER BY m.date DESC,m.ROWID DESC) rn\n"
           "  FROM chat_message_join cmj\n"
           "  JOIN message m ON m.ROWID=cmj.message_id\n"
           "  JOIN chat c ON c.ROWID=cmj.chat_id\n"
           "  WHERE " +
           inWindow(window) +
           "\n"
           "    AND m.item_type=0 AND m.associated_message_type=0 AND m.is_system_message=0\n"
           "    AND coalesce(c.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n"
           "    AND " +
           activeMessagePredicate("m", "c") +
           "\n"
           ")\n"
           "SELECT count(*) FROM normal WHERE rn=1 AND is_from_me=0";
}

std::string chatList(LookbackWindow window) {
    return "WITH normal AS (\n"
           "  SELECT cmj.chat_id,m.ROWID mid,m.date,m.is_from_me,\n"
           "         ROW_NUMBER() OVER(PARTITION BY cmj.chat_id ORDER BY m.date DESC,m.ROWID DESC) rn\n"
           "  FROM chat_message_join cmj\n"
           "  JOIN message m ON m.ROWID=cmj.message_id\n"
           "  JOIN chat filtered_chat ON filtered_chat.ROWID=cmj.chat_id\n"
           "  WHERE " +
           inWindow(window) +
           "\n"
           "    AND m.item_type=0 AND m.associated_message_type=0 AND m.is_system_message=0\n"
           "    AND coalesce(filtered_chat.is_filtered,0)=0 AND coalesce(m.is_spam,0)=0\n"
           "    AND " +
           activeMessagePredicate("m", "filtered_chat") +
           "\n"
           "), handles AS (\n"
           "  SELECT chat_id,count(*) handle_count FROM chat_handle_join GROUP BY chat_id\n"
           ")\n"
           "SELECT n.chat_id,n.mid,n.date,coalesce(c.display_name,''),coalesce(c.chat_identifier,''),\n"
           "       coalesce((SELECT group_concat(h.id,', ')\n"
           "                 FROM chat_handle_join chj JOIN handle h ON h.ROWID=chj.handle_id\n"
           "                 WHERE chj.chat_id=n.chat_id),''),coalesce(handles.handle_count,0),\n"
           "       coalesce(latest_handle.id,'')\n"
           "FROM normal n JOIN chat c ON c.ROWID=n.chat_id\n"
           "LEFT JOIN handles ON handles.chat_id=n.chat_id\n"
           "LEFT JOIN message latest_message ON latest_message.ROWID=n.mid\n"
           "LEFT JOIN handle latest_handle ON latest_handle.ROWID=latest_message.handle_id\n"
           "WHERE n.rn=1 AND n.is_from_me=0\n"
           "ORDER BY n.date DESC";
}

std::string chatMessages(LookbackWindow window) {
    // Cut here, so that a huge message is never copied whole; length() of a blob reads no content.
    return "SELECT m.is_from_me,substr(m.text,1," + std::to_string(MessagePayloads::longestReadText) +
           "),\n"
           "       CASE WHEN length(m.attributedBody)<=" +
           std::to_string(MessagePayloads::largestReadBody) +
           " THEN m.attributedBody END,m.date,m.ROWID,m.handle_id,\n"
           "       coalesce(m.balloon_bundle_id,''),m.payload_data,coalesce(sender_handle.id,'')\n"
           "FROM chat_message_join cmj\n"
           "JOIN message m ON m.ROWID=cmj.message_id\n"
           "JOIN chat c ON c.ROWID=cmj.chat_id\n"
           "LEFT JOIN handle sender_handle ON sender_handle.ROWID=m.handle_id\n"
           "WHERE cmj.chat_id=? AND m.item_type=0 AND m.associated_message_type=0\n"
           "  AND m.is_system_message=0\n"
           "  AND coalesce(m.is_spam,0)=0\n"
           "  AND " +
           activeMessagePredicate("m", "c") +
           "\n"
           "  AND " +
           inWindow(window) +
           "\n"
           "ORDER BY m.date DESC,m.ROWID DESC LIMIT 24";
}

std::string stillActive() {
    return "SELECT 1\n"
           "FROM chat_message_join cmj\n"
           "JOIN message m ON m.ROWID=cmj.message_id\n"
           "JOIN chat c ON c.ROWID=cmj.chat_id\n"
           "WHERE cmj.chat_id=? AND cmj.message_id=?\n"
           "  AND " +
           activeMessagePredicate("m", "c") +
           "\n"
           "LIMIT 1";
}

}  // namespace nudgerly::MessagesQueries
