// What should happen in an episode, worked out from the gesture rules alone
// over what the user really did and when: which switches and whether a quit.
// It shares nothing with the recognisers; it never sees the order in which
// the tool is served its events.
#pragma once

#include "soak_script.h"

namespace soak {

struct Expectation {
  int switches = 0;
  bool quit = false;
};

// The rules, as a user may rely on them:
// - A Control tap is a press and a release of Control (on either keyboard)
//   by the user; a press its keyboard took away with it is none. Under the
//   clean rule, a press during which any other key or modifier was held at
//   any moment (pressed before it or during it) is none either. A press
//   that is not a tap breaks a pair begun before it.
// - Two taps whose releases are at most 700 ms apart switch once; a later
//   tap becomes the first of a new pair. Two keyboards whose clocks disagree
//   by more than the window cannot be told apart in time: their taps never
//   pair with each other.
// - A Q tap is the user letting Q go; two less than 700 ms apart quit, any
//   second Q ends the pair, however late (a lone Q stays pending until the
//   next). A Q its keyboard took away is no tap and ends the pair.
// - Left with right or middle held together for one second switches once,
//   at that second, until one of them is let go. A chord whose mouse went
//   away while the tool was held up after its second does not switch (the
//   tool cannot tell whether it went before or after the second).
// - A switch within 500 ms of the last one is dropped.
// - A switch or quit is acted on when it happens or not at all: one made
//   while the tool was held up and served more than a second later is let
//   go (and starts no debounce window).
// `q_pending`: whether a lone Q is pending from an earlier episode (long
// ago); updated for the next one.
Expectation Expect(const Episode& episode, const SessionSetup& setup, bool* q_pending);

}  // namespace soak
