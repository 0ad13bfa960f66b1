// The settings followed while the tool runs: a change of the source is read
// and put in force at once, without a restart.
#pragma once

// A burst of change notices (an editor's write and rename, a file written
// in pieces) is read once, this long after the first of them.
inline constexpr double kSettingsSettleSec = 0.1;

// Starts following the installed source. Where it cannot be followed, one
// line on standard error says why (the settings then apply at the next
// start).
void StartSettingsWatch();
// Stops following it; safe in any state.
void StopSettingsWatch();
// The source may have changed: reads it once the burst has settled.
void SettingsSourceChanged();
// Reads the source again and puts what it holds in force: problems as at
// start (keeping, for each setting that cannot be used, the value in
// force), and with --console the gesture lines now in force. A source that
// is gone gives every default, as a start without it would.
void ReloadSettings();
