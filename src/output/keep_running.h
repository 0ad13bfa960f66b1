// Keeping the tool alive when its standard output goes away.
#pragma once

// Makes a write to a pipe whose reader has gone fail with an error instead
// of ending the process, and a write to the terminal from the background
// go through instead of stopping it. Call once, first thing in the entry
// point.
void KeepRunningWhenOutputGoes();
