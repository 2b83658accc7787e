#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/secrets/Keyring.h"

namespace nudgerly::test {

// An in-memory keyring whose failures a test scripts. Every call is logged as "<load|save|remove>:<account>".
class ScriptedKeyring : public Keyring {
public:
    enum class Call { load, save, remove };
    // Runs before each call; it may throw (KeyringError, CancelledError) to make the call fail, or wait.
    using Hook = std::function<void(Call, const std::string& account, std::stop_token)>;

    std::optional<std::string> load(std::string_view account, std::stop_token stop) const override;
    void save(std::string_view bytes, std::string_view account, std::stop_token stop) const override;
    void remove(std::string_view account, std::stop_token stop) const override;

    // Every call throws KeyringError while the keyring is unreachable.
    void setReachable(bool reachable);
    // These calls throw KeyringError (the others still work).
    void failCalls(std::vector<Call> calls);
    // Loads answer these bytes instead of the stored ones.
    void corruptReads(std::optional<std::string> bytes);
    void setHook(Hook hook);

    std::optional<std::string> item(const std::string& account) const;
    void putItem(const std::string& account, const std::string& bytes);
    std::vector<std::string> calls() const;

private:
    void enter(Call call, std::string_view account, std::stop_token stop) const;

    mutable std::mutex mutex_;
    mutable std::map<std::string, std::string> items_;
    bool reachable_ = true;
    std::vector<Call> failing_;
    std::optional<std::string> corruptReads_;
    Hook hook_;
    mutable std::vector<std::string> calls_;
};

}  // namespace nudgerly::test
