#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "chatdb/MessagesDatabaseBuilder.h"
#include "platform/contacts/Contact.h"

// Fills a chat.db with made-up but realistic conversations, reproducibly from a seed: people (some in
// the address book, their cards writing numbers differently from the handles), named and unnamed
// groups, businesses, filtered and spam senders, tapbacks and group events, bodies kept only as
// archives, shared links with previews, attachments, deleted and recoverable messages. Free of the
// test framework.
namespace nudgerly::test {

struct BulkOptions {
    uint64_t seed = 1;
    int64_t chats = 40;
    int64_t messages = 1200;  // in all; every chat has at least one
    int days = 30;            // messages fall within this many days before the builder's `now`
    // How much longer than usual (a day or two, now and then a few weeks) a chat goes on: a history of
    // years holds chats that run for months.
    double chatSpanScale = 1;
    // How many messages carry a tombstone; by default about a few dozen, however long the history.
    std::optional<int64_t> tombstones;
    double cardShare = 0.6;              // share of the people and businesses with a card
    std::string userFirstName = "Alex";  // how group members address the user
    // Files of link previews: none (the rows name files that are not there), their first bytes only
    // (enough to read their size), or whole pictures.
    enum class PreviewFiles { none, headers, pictures };
    PreviewFiles previewFiles = PreviewFiles::none;
    // Where "~" points: attachment rows name files as "~/Library/Messages/Attachments/...", as
    // Messages does, and they are written below it. Needed unless `previewFiles` is none.
    std::filesystem::path home;
};

struct BulkContents {
    std::vector<Contact> contacts;  // the address book: write it with writeVCards()
    int64_t chats = 0;
    int64_t messages = 0;      // message rows, events and tapbacks included
    int64_t linkPreviews = 0;  // link messages with a preview archive
};

// Adds the conversations in one transaction.
BulkContents generateBulk(MessagesDatabaseBuilder& builder, const BulkOptions& options);

}  // namespace nudgerly::test
