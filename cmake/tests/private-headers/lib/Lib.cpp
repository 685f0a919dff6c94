#include "Hidden.h"
#include "inner/Deep.h"
#include "lib/Open.h"
