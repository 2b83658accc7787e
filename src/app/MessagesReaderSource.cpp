#include "app/MessagesReaderSource.h"

#include "sources/messages/MessagesReader.h"

namespace nudgerly {
namespace {

class MessagesReaderSource final : public MessagesSource {
public:
    explicit MessagesReaderSource(MessagesReader reader) : reader_(std::move(reader)) {}

    ConversationBatch scan(LookbackWindow lookback, std::stop_token stop) override {
        return reader_.scan(lookback, std::move(stop));
    }
    bool requestContacts(std::stop_token stop, AccessQuestion question) override {
        return reader_.requestContacts(std::move(stop), question);
    }
    std::optional<ReviewSnapshot> removingDeletedMessages(const ReviewSnapshot& snapshot,
                                                          std::stop_token stop) override {
        return reader_.removingDeletedMessages(snapshot, std::move(stop));
    }

private:
    const MessagesReader reader_;
};

}  // namespace

std::shared_ptr<MessagesSource> makeMessagesReaderSource(std::shared_ptr<ContactsStore> contacts) {
    return std::make_shared<MessagesReaderSource>(MessagesReader::forCurrentUser(std::move(contacts)));
}

}  // namespace nudgerly
