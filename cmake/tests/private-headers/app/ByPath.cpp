#include "../lib/Hidden.h"
