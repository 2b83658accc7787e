#pragma once

// Whether this login session has a D-Bus session bus to talk to. Only a bus that is already there
// counts: the address in DBUS_SESSION_BUS_ADDRESS, or the per-user socket "bus" in XDG_RUNTIME_DIR.
// Nothing is ever started to provide one (an "autolaunch:" address does not count), so a machine
// without a desktop session never grows a stray bus daemon because we asked.
namespace nudgerly::SessionBus {

// The rule over the two values as the environment holds them (null when unset).
bool isConfigured(const char* addressVariable, const char* runtimeDirectory);

// The rule over this process's environment, read at each call.
bool isConfigured();

}  // namespace nudgerly::SessionBus
