#include "core/Twatcher.h"

void ClearWatcher(Twatcher& w) { w = Twatcher{}; }
