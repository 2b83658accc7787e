#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/contacts/Contact.h"

// vCard 3.0 text as contact-sync programs write it, for tests and generated homes.
namespace nudgerly::test {

// One card: UID, N, FN, ORG (organisations also say so with X-ABSHOWAS), TEL and EMAIL lines, with
// the format's escapes and CRLF line ends.
std::string vCard(const Contact& contact);

// Writes every contact as "<identifier>.vcf" (or "card-<n>.vcf" without one) into `folder`.
void writeVCards(const std::filesystem::path& folder, const std::vector<Contact>& contacts);

}  // namespace nudgerly::test
