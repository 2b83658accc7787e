#pragma once

#include "state/PublishedState.h"

// How far Local AI is set up, as the status lines tell it: a model counts as installed when the
// selected pack is, when the environment names a model file that exists, or when the model shipped
// with the program serves the selected pack; an installed model has fallen back when its last run
// reported a problem, or when the environment's or the shipped model cannot be run.
namespace nudgerly::LocalModelStatus {

bool isInstalled(const PublishedState& state);
// Only says something about an installed model.
bool hasFallenBack(const PublishedState& state);

}  // namespace nudgerly::LocalModelStatus
