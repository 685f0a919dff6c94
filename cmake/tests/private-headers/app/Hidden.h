#pragma once
// The application's own header of the same name as one the library keeps private.
int appHidden();
