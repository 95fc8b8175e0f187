// Streaming counter: implementation follows.
#include "StreamCounter.h"
