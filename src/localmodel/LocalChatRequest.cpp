#include "localmodel/LocalChatRequest.h"

#include <utility>

#include "core/JsonWriter.h"
#include "localmodel/LocalModelPromptPolicy.h"

namespace nudgerly {
namespace {

using json = nlohmann::ordered_json;

LocalChatRequest::Property plain(std::string type) {
    return {.type = std::move(type), .enumValues = std::nullopt, .items = std::nullopt};
}

LocalChatRequest::Property nullable(std::string type) {
    return {
        .type = std::vector<std::string>{std::move(type), "null"}, .enumValues = std::nullopt, .items = std::nullopt};
}

LocalChatRequest::JSONSchema classificationSchema() {
    LocalChatRequest::Property status = nullable("string");
    // null belongs in the enumeration too: a server that enforces "enum" would otherwise never let the
    // model answer "nothing owed", and every conversation would land in the queue.
    status.enumValues = std::vector<std::optional<std::string>>{"reply", "action", "nudgerly", std::nullopt};

    LocalChatRequest::Property tags = plain("array");
    tags.items = LocalChatRequest::ItemSchema{"string"};

    LocalChatRequest::JSONSchema schema;
    schema.properties = {
        {"include_in_queue", plain("boolean")},
        {"status", std::move(status)},
        {"confidence", plain("number")},
        {"summary", plain("string")},
        {"reason", plain("string")},
        {"draft", nullable("string")},
        {"tags", std::move(tags)},
        {"sensitive", plain("boolean")},
    };
    schema.required = {"include_in_queue", "status", "confidence", "summary", "reason", "draft", "tags", "sensitive"};
    return schema;
}

json propertyJson(const LocalChatRequest::Property& property) {
    json j = json::object();
    std::visit([&](const auto& type) { j["type"] = type; }, property.type);
    if (property.enumValues) {
        json values = json::array();
        for (const auto& value : *property.enumValues) {
            values.push_back(value ? json(*value) : json(nullptr));
        }
        j["enum"] = std::move(values);
    }
    if (property.items) {
        j["items"] = json{{"type", property.items->type}};
    }
    return j;
}

}  // namespace

LocalChatRequest::LocalChatRequest(std::string prompt)
    : messages{
          {{"role", "system"}, {"content", std::string(LocalModelPromptPolicy::systemPrompt)}},
          {{"role", "user"}, {"content", std::move(prompt)}},
      },
      responseFormat{.jsonSchema = {.schema = classificationSchema()}} {}

nlohmann::ordered_json LocalChatRequest::toJson() const {
    const JSONSchema& schema = responseFormat.jsonSchema.schema;
    // The server has the model write the properties in the order listed, so they follow `required`:
    // whether anything is owed comes first, confidence and draft after it.
    json properties = json::object();
    for (const std::string& name : schema.required) {
        if (const auto found = schema.properties.find(name); found != schema.properties.end()) {
            properties[name] = propertyJson(found->second);
        }
    }
    for (const auto& [name, property] : schema.properties) {
        if (!properties.contains(name)) {
            properties[name] = propertyJson(property);
        }
    }
    return json{
        {"model", model},
        {"messages", messages},
        {"temperature", temperature},
        {"max_tokens", maxTokens},
        {"chat_template_kwargs", chatTemplateKwargs},
        {"response_format",
         {
             {"type", responseFormat.type},
             {"json_schema",
              {
                  {"name", responseFormat.jsonSchema.name},
                  {"strict", responseFormat.jsonSchema.strict},
                  {"schema",
                   {
                       {"type", schema.type},
                       {"properties", std::move(properties)},
                       {"required", schema.required},
                       {"additionalProperties", schema.additionalProperties},
                   }},
              }},
         }},
    };
}

std::string LocalChatRequest::body() const {
    return JsonWriter::write(toJson());
}

}  // namespace nudgerly
