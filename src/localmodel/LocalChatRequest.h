#pragma once

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

// One chat-completion request to the local model server, constrained by a strict JSON schema whose
// properties are the fields of a classification.
namespace nudgerly {

struct LocalChatRequest {
    struct ItemSchema {
        std::string type;
    };

    // A single type name, or a list of them.
    using TypeValue = std::variant<std::string, std::vector<std::string>>;

    struct Property {
        TypeValue type;
        std::optional<std::vector<std::optional<std::string>>> enumValues;  // an absent entry is JSON null
        std::optional<ItemSchema> items;
    };

    struct JSONSchema {
        std::string type = "object";
        std::map<std::string, Property> properties;
        std::vector<std::string> required;
        bool additionalProperties = false;
    };

    struct Schema {
        std::string name = "nudgerly_decision";
        bool strict = true;
        JSONSchema schema;
    };

    struct ResponseFormat {
        std::string type = "json_schema";
        Schema jsonSchema;
    };

    std::string model = "local";
    std::vector<std::map<std::string, std::string>> messages;  // the system message, then the prompt
    int temperature = 0;
    int maxTokens = 320;
    std::map<std::string, bool> chatTemplateKwargs{{"enable_thinking", false}};
    ResponseFormat responseFormat;

    explicit LocalChatRequest(std::string prompt);

    // Members in the order given here; the schema's properties in the order of `required`.
    nlohmann::ordered_json toJson() const;
    // The request body. Never throws: invalid UTF-8 in the prompt is sent as U+FFFD.
    std::string body() const;
};

}  // namespace nudgerly
