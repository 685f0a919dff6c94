#include "hlSourceBrowser.h"

// Placeholder definitions; the launch is being written.
bool hlSourceBrowser::Run(int) { return false; }
bool hlSourceBrowser::Run_Query() { return false; }
