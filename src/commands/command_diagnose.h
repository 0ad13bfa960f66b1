// --diagnose: one line for each thing a switch by gesture needs, with the
// fix under each failure.
#pragma once

// The exit status: 0 when input access and the hub are in place.
int RunDiagnoseCommand();
