#pragma once

namespace nudgerly {

// Whether the Messages database opens for reading (Full Disk Access on the original platform).
enum class MessagesPermission { granted, denied };

// How far the address book may be read; `granted` and `limited` let the queue be shown.
enum class ContactsPermission { notDetermined, granted, limited, denied };

inline bool isUsable(ContactsPermission permission) {
    return permission == ContactsPermission::granted || permission == ContactsPermission::limited;
}

}  // namespace nudgerly
