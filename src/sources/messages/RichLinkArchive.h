#pragma once

#include <optional>
#include <string_view>

#include "review/MessageLinkPreview.h"

// Reads the preview of a shared link out of a message's `payload_data`: a keyed archive whose root is
// a "RichLink" holding the link's "LPLinkMetadata". Other objects in the archive are ignored.
namespace nudgerly::RichLinkArchive {

// Title, domain and address of the link, without an image path; absent when the archive is damaged
// (bad or looping references included), its root or metadata is of another class, or the link has no
// host or is not an http or https address (the window opens it).
std::optional<MessageLinkPreview> preview(std::string_view payloadData);

}  // namespace nudgerly::RichLinkArchive
