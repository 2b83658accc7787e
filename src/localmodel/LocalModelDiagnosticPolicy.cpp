#include "localmodel/LocalModelDiagnosticPolicy.h"

#include <optional>

#include "localmodel/LocalModelError.h"

namespace nudgerly::LocalModelDiagnosticPolicy {
namespace {

std::optional<LocalModelError::Kind> localModelKind(const std::exception_ptr& error) {
    if (!error) {
        return std::nullopt;
    }
    try {
        std::rethrow_exception(error);
    } catch (const LocalModelError& failure) {
        return failure.kind();
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

std::string code(const std::exception_ptr& error) {
    const auto kind = localModelKind(error);
    return std::string(kind ? LocalModelError::diagnosticCode(*kind) : LocalModelError::unexpectedDiagnosticCode);
}

std::string userMessage(const std::exception_ptr& error) {
    const auto kind = localModelKind(error);
    return std::string(kind ? LocalModelError::userMessage(*kind) : LocalModelError::unexpectedUserMessage);
}

}  // namespace nudgerly::LocalModelDiagnosticPolicy
