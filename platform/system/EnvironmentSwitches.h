#pragma once

// The program's VESMOR_* environment switches, every one read here and nowhere else (README.md
// lists them). Each is on when set to 1.
namespace EnvironmentSwitches {

// VESMOR_AUTO_ANSWER_BOXES: every modal box is answered with its default at once and printed to
// standard error, on a display too (for scripts).
bool autoAnswerBoxes();
// VESMOR_ECHO_LIVE_LOG: every live-log line is copied to standard error.
bool echoLiveLog();
// VESMOR_RESPONSIVENESS_PROBE: the largest gap between two 10 ms timer ticks is printed to
// standard error at exit.
bool responsivenessProbe();

}  // namespace EnvironmentSwitches
