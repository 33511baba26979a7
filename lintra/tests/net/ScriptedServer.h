// The scripted command server now lives with the shared test helpers.
#pragma once

#include "support/ScriptedServer.h"
