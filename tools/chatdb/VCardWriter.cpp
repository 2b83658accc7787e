#include "chatdb/VCardWriter.h"

#include <fstream>
#include <stdexcept>

namespace nudgerly::test {
namespace {

std::string escaped(const std::string& value) {
    std::string text;
    for (const char c : value) {
        if (c == '\\' || c == ',' || c == ';') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace

std::string vCard(const Contact& contact) {
    const bool organization = contact.contactType == ContactType::organization;
    std::string formatted = contact.givenName;
    if (!contact.familyName.empty()) {
        formatted += (formatted.empty() ? "" : " ") + contact.familyName;
    }
    if (formatted.empty()) {
        formatted = contact.organizationName;
    }
    std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    if (!contact.identifier.empty()) {
        card += "UID:" + escaped(contact.identifier) + "\r\n";
    }
    card += "N:" + escaped(contact.familyName) + ";" + escaped(contact.givenName) + ";;;\r\n";
    card += "FN:" + escaped(formatted) + "\r\n";
    if (!contact.organizationName.empty()) {
        card += "ORG:" + escaped(contact.organizationName) + ";\r\n";
    }
    if (organization) {
        card += "X-ABSHOWAS:COMPANY\r\n";
    }
    for (const std::string& number : contact.phoneNumbers) {
        card += "TEL;TYPE=CELL:" + escaped(number) + "\r\n";
    }
    for (const std::string& address : contact.emailAddresses) {
        card += "EMAIL;TYPE=INTERNET:" + escaped(address) + "\r\n";
    }
    return card + "END:VCARD\r\n";
}

void writeVCards(const std::filesystem::path& folder, const std::vector<Contact>& contacts) {
    std::filesystem::create_directories(folder);
    std::size_t number = 0;
    for (const Contact& contact : contacts) {
        ++number;
        const std::string name = contact.identifier.empty() ? "card-" + std::to_string(number) : contact.identifier;
        std::ofstream file(folder / (name + ".vcf"), std::ios::binary);
        file << vCard(contact);
        if (!file.flush()) {
            throw std::runtime_error("Could not write the card " + name);
        }
    }
}

}  // namespace nudgerly::test
