// The one server file that may reach acquisition/ (none here: the include
// below names a server header beside it, which is always allowed).
#include "ScpiSession.h"
