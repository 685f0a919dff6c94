#include "hlSourceBrowser.h"

// Placeholder definition; the options dialog is being written.
bool hlSourceBrowser::Show_Options() { return false; }
