#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/contacts/ContactsStore.h"

namespace nudgerly {

// The user's stored answer to the Contacts access question, the file "contacts-access.json":
//   {"status": "authorized" | "denied" | "limited", "allowed": ["<card UID>", ...]}
// "allowed" lists the contacts a limited grant shows; other statuses ignore it.
struct ContactsAccessDecision {
    ContactsAuthorizationStatus status = ContactsAuthorizationStatus::denied;  // authorized, denied or limited
    std::vector<std::string> allowed;

    static constexpr std::string_view fileName = "contacts-access.json";

    // Absent unless the bytes are a JSON object with a known status and, when present, "allowed" an
    // array of strings. Other members are ignored.
    static std::optional<ContactsAccessDecision> parse(std::string_view bytes);

    // The file's bytes; "allowed" is written for a limited grant only.
    std::string encoded() const;

    friend bool operator==(const ContactsAccessDecision&, const ContactsAccessDecision&) = default;
};

}  // namespace nudgerly
