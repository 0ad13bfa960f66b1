// The one notice that input watching is no longer allowed, given when the
// system switches the tap off and the permission turns out to be gone.
#pragma once

// After the system switched the tap off: when the platform says input
// watching is no longer allowed, writes one line with the fix and shows one
// alert soon after, once per run; otherwise does nothing.
void ReportInputAccessLost();
// Drops a pending alert (StopEventTap); the "once" stays.
void CancelInputAccessNotice();
// A new run may say it again (StartEventTap).
void ResetInputAccessNotice();
// Whether the alert waits for the run loop (it is not shown from inside the
// tap's callback, which would hold the tap up).
bool InputAccessNoticePending();
