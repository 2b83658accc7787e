#pragma once

#include <exception>
#include <string>

// Maps a failure of the local model path to the diagnostic code and the sentence a run reports.
namespace nudgerly::LocalModelDiagnosticPolicy {

// The code of a LocalModelError's kind; "unexpected_error" for no error or any other error.
std::string code(const std::exception_ptr& error);

// The sentence of a LocalModelError's kind; the unexpected-error sentence for no error or any other
// error.
std::string userMessage(const std::exception_ptr& error);

}  // namespace nudgerly::LocalModelDiagnosticPolicy
