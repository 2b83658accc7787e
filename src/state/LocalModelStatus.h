#pragma once

#include "state/PublishedState.h"

// How far Local AI is set up, as the status lines tell it: a model counts as installed when the
// selected pack is, or when the environment names a model file that exists; an installed model has
// fallen back when its last run reported a problem, or when the environment's model cannot be run.
namespace nudgerly::LocalModelStatus {

bool isInstalled(const PublishedState& state);
// Only says something about an installed model.
bool hasFallenBack(const PublishedState& state);

}  // namespace nudgerly::LocalModelStatus
