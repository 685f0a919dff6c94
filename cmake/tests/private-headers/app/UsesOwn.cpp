#include "Hidden.h"
#include "lib/Open.h"
