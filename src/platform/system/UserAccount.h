#pragma once

#include <optional>
#include <string>

// The logged-in user's entry in the system's password database.
namespace nudgerly::UserAccount {

struct Entry {
    std::string home;     // as stored; may be empty or relative
    std::string comment;  // the GECOS field: "Full Name,room,phone,..."
};

// Absent when the user has no entry.
std::optional<Entry> current();

// The user's full name: the GECOS field up to its first comma, as valid UTF-8; empty when unknown.
std::string fullName();

}  // namespace nudgerly::UserAccount
