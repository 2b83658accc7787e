#include "platform/contacts/ContactsAccessDecision.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/JsonCoding.h"
#include "core/JsonWriter.h"

namespace nudgerly {
namespace {

constexpr std::array statusNames{
    std::pair{ContactsAuthorizationStatus::authorized, std::string_view{"authorized"}},
    std::pair{ContactsAuthorizationStatus::denied, std::string_view{"denied"}},
    std::pair{ContactsAuthorizationStatus::limited, std::string_view{"limited"}},
};

}  // namespace

std::optional<ContactsAccessDecision> ContactsAccessDecision::parse(std::string_view bytes) {
    try {
        const nlohmann::json json = parseJson(bytes);
        if (!json.is_object()) {
            return std::nullopt;
        }
        const auto status = json.find("status");
        if (status == json.end() || !status->is_string()) {
            return std::nullopt;
        }
        ContactsAccessDecision decision;
        const auto known = std::find_if(statusNames.begin(), statusNames.end(), [&](const auto& entry) {
            return entry.second == status->get_ref<const std::string&>();
        });
        if (known == statusNames.end()) {
            return std::nullopt;
        }
        decision.status = known->first;
        if (const auto allowed = json.find("allowed"); allowed != json.end()) {
            decision.allowed = Json::read<std::vector<std::string>>(*allowed, {});
        }
        return decision;
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

std::string ContactsAccessDecision::encoded() const {
    nlohmann::json json = nlohmann::json::object();
    for (const auto& [value, name] : statusNames) {
        if (value == status) {
            json["status"] = std::string(name);
        }
    }
    if (status == ContactsAuthorizationStatus::limited) {
        json["allowed"] = allowed;
    }
    return JsonWriter::write(json, JsonWriter::Style::pretty);
}

}  // namespace nudgerly
