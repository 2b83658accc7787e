#include "support/ScriptedKeyring.h"

#include <algorithm>

namespace nudgerly::test {
namespace {

const char* callName(ScriptedKeyring::Call call) {
    switch (call) {
        case ScriptedKeyring::Call::load: return "load";
        case ScriptedKeyring::Call::save: return "save";
        case ScriptedKeyring::Call::remove: return "remove";
    }
    return "?";
}

}  // namespace

void ScriptedKeyring::enter(Call call, std::string_view account, std::stop_token stop) const {
    Hook hook;
    {
        const std::lock_guard lock(mutex_);
        calls_.push_back(std::string(callName(call)) + ":" + std::string(account));
        if (!reachable_) {
            throw KeyringError("The desktop keyring isn't reachable.");
        }
        if (std::find(failing_.begin(), failing_.end(), call) != failing_.end()) {
            throw KeyringError(std::string("The desktop keyring refused to ") + callName(call) + ".");
        }
        hook = hook_;
    }
    if (hook) {
        hook(call, std::string(account), stop);
    }
}

std::optional<std::string> ScriptedKeyring::load(std::string_view account, std::stop_token stop) const {
    enter(Call::load, account, stop);
    const std::lock_guard lock(mutex_);
    const auto found = items_.find(std::string(account));
    if (found == items_.end()) {
        return std::nullopt;
    }
    return corruptReads_ ? corruptReads_ : found->second;
}

void ScriptedKeyring::save(std::string_view bytes, std::string_view account, std::stop_token stop) const {
    enter(Call::save, account, stop);
    const std::lock_guard lock(mutex_);
    items_[std::string(account)] = std::string(bytes);
}

void ScriptedKeyring::remove(std::string_view account, std::stop_token stop) const {
    enter(Call::remove, account, stop);
    const std::lock_guard lock(mutex_);
    items_.erase(std::string(account));
}

void ScriptedKeyring::setReachable(bool reachable) {
    const std::lock_guard lock(mutex_);
    reachable_ = reachable;
}

void ScriptedKeyring::failCalls(std::vector<Call> calls) {
    const std::lock_guard lock(mutex_);
    failing_ = std::move(calls);
}

void ScriptedKeyring::corruptReads(std::optional<std::string> bytes) {
    const std::lock_guard lock(mutex_);
    corruptReads_ = std::move(bytes);
}

void ScriptedKeyring::setHook(Hook hook) {
    const std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::optional<std::string> ScriptedKeyring::item(const std::string& account) const {
    const std::lock_guard lock(mutex_);
    const auto found = items_.find(account);
    return found == items_.end() ? std::nullopt : std::optional(found->second);
}

void ScriptedKeyring::putItem(const std::string& account, const std::string& bytes) {
    const std::lock_guard lock(mutex_);
    items_[account] = bytes;
}

std::vector<std::string> ScriptedKeyring::calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace nudgerly::test
