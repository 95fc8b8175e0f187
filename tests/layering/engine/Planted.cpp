// A back-include the layering check must find: the engine reaching up into
// the server by a bare name.
#include "ScpiSession.h"
