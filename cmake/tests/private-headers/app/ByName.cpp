#include "inner/Deep.h"
