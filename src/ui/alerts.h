// The modal alert every user-facing message goes through.
#pragma once

// Shows `text` (none: "") under the product name with one "OK" button and
// returns once it was pressed.
void ShowAlert(const char* text);
