#include "app/MessagesReaderSource.h"

#include <algorithm>
#include <limits>

#include "sources/messages/MessagesReader.h"

namespace nudgerly {
namespace {

class MessagesReaderSource final : public MessagesSource {
public:
    explicit MessagesReaderSource(MessagesReader reader) : reader_(std::move(reader)) {}

    ConversationBatch scan(int64_t days, std::stop_token stop) override {
        // The reader reads any day count it does not know as a week; keep that true for huge ones too.
        const int64_t clamped = std::clamp<int64_t>(days, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        return reader_.scan(static_cast<int>(clamped), std::move(stop));
    }
    bool requestContacts(std::stop_token stop, AccessQuestion question) override {
        return reader_.requestContacts(std::move(stop), question);
    }
    std::optional<ReviewSnapshot> removingDeletedMessages(const ReviewSnapshot& snapshot, std::stop_token stop) override {
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
