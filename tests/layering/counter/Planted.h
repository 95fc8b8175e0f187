// A back-include by path: the counter reaching the engine.
#pragma once
#include "engine/Module.h"
