#pragma once

#include <functional>
#include <string>

#include "platform/secrets/Keyring.h"
#include "platform/secrets/SessionBus.h"

namespace nudgerly {

// The desktop's keyring through the Secret Service (GNOME Keyring, KWallet and the like), by libsecret.
// One item per service and account, with attributes "service" and "account" of our own schema, labelled
// "Nudgerly: <account>", held in the default collection: normally the login keyring, which the desktop
// unlocks at login and never syncs to another machine. A locked collection is unlocked through the
// desktop's own prompt. Values are bytes ("application/octet-stream"), never taken for text.
//
// Every operation first asks `sessionBusConfigured` and then opens its own session with the service,
// so a keyring that starts, stops or is unlocked between calls is simply found again; the session bus
// connection itself never ends the program when the bus goes away. The calls block on D-Bus and, for a
// locked keyring, on the user's answer to the prompt: run them on a worker, never on the main thread.
// Safe from any thread.
class SecretServiceStore : public Keyring {
public:
    explicit SecretServiceStore(
        std::string service, std::function<bool()> sessionBusConfigured = [] { return SessionBus::isConfigured(); });

    std::optional<std::string> load(std::string_view account, std::stop_token stop) const override;
    void save(std::string_view bytes, std::string_view account, std::stop_token stop) const override;
    void remove(std::string_view account, std::stop_token stop) const override;

    // The schema name of our items ("xdg:schema" attribute), so other tools can find them.
    static constexpr const char* schemaName = "com.nudgerly.Secret";

private:
    std::string service_;
    std::function<bool()> sessionBusConfigured_;
};

}  // namespace nudgerly
