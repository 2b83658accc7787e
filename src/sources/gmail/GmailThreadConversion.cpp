#include "sources/gmail/GmailThreadConversion.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "core/Text.h"
#include "platform/formats/Url.h"
#include "sources/gmail/GmailBodies.h"
#include "sources/gmail/mime/FromHeader.h"

namespace nudgerly::GmailThreadConversion {

std::string conversationID(std::string_view threadID) {
    return std::string(conversationIDPrefix) + std::string(threadID);
}

std::optional<std::string> openURL(std::string_view threadID) {
    std::string address = std::string(webAddressPrefix) + std::string(threadID);
    if (!Url::parse(address)) {
        return std::nullopt;
    }
    return address;
}

int64_t internalDateMilliseconds(std::string_view internalDate) {
    if (internalDate.starts_with('+')) {
        internalDate.remove_prefix(1);
        if (internalDate.starts_with('-')) {
            return 0;
        }
    }
    int64_t milliseconds = 0;
    const auto [end, error] =
        std::from_chars(internalDate.data(), internalDate.data() + internalDate.size(), milliseconds);
    if (error != std::errc() || end != internalDate.data() + internalDate.size()) {
        return 0;
    }
    return milliseconds;
}

std::optional<ConversationMessage> message(const GmailMessage& message, std::string_view accountEmail) {
    const auto [text, displayText] = GmailBodies::messageTexts(message);
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string sender = FromHeader::emailAddress(message.header("From"));
    const bool sentByAccount = !sender.empty() && sender == text::lowercased(accountEmail);
    const bool labelledSent =
        message.labelIDs && std::ranges::find(*message.labelIDs, "SENT") != message.labelIDs->end();
    return ConversationMessage{
        .fromMe = sentByAccount || labelledSent,
        .text = text::graphemePrefix(text, classificationTextLimit),
        .date = Date::fromUnix(static_cast<double>(internalDateMilliseconds(message.internalDate)) / 1000.0),
        .displayText = text::graphemePrefix(displayText, displayTextLimit),
    };
}

std::optional<Conversation> conversation(const GmailThread& thread, std::string_view accountEmail) {
    if (thread.messages.empty()) {
        return std::nullopt;
    }
    std::vector<const GmailMessage*> sorted;
    sorted.reserve(thread.messages.size());
    for (const auto& each : thread.messages) {
        sorted.push_back(&each);
    }
    std::ranges::stable_sort(sorted, {},
                             [](const GmailMessage* each) { return internalDateMilliseconds(each->internalDate); });

    std::vector<ConversationMessage> messages;
    for (const GmailMessage* each : sorted) {
        if (auto converted = message(*each, accountEmail)) {
            messages.push_back(std::move(*converted));
        }
    }
    if (messages.empty()) {
        return std::nullopt;
    }

    const GmailMessage& newest = *sorted.back();
    const std::string from = newest.header("From");
    std::string address = FromHeader::emailAddress(from);
    std::string person = FromHeader::displayName(from);
    if (person.empty()) {
        person = address.empty() ? std::string(unknownSender) : address;
    }
    return Conversation{
        .id = conversationID(thread.id),
        .source = ReviewSource::gmail,
        .person = std::move(person),
        .target = std::move(address),
        .subject = newest.header("Subject"),
        .messages = std::move(messages),
        .openURL = openURL(thread.id),
    };
}

}  // namespace nudgerly::GmailThreadConversion
