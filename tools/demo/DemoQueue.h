#pragma once

#include <cstddef>

#include "demo/DemoHome.h"
#include "review/LookbackWindow.h"

namespace nudgerly::test {

// Makes a demo home look as the program leaves it after its first Messages refresh in Basic Mode:
// Basic Mode chosen, Gmail left out, the lookback at `lookback`, and the queue of one real read of the
// demo's chat.db, classified by the Basic Mode rules, saved with the Contacts state it was made under,
// with the showcase's done conversation marked completed.
// Returns how many conversations the queue holds. Throws what the reader, classifier or store throw.
std::size_t saveDemoQueue(const DemoHome& demo, const std::string& userFirstName,
                          LookbackWindow lookback = LookbackWindow::thirty);

}  // namespace nudgerly::test
