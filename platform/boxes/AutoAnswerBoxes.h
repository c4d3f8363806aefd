#pragma once
#include "platform/boxes/ModalBoxes.h"

// Boxes that nobody can answer: each is answered at once with its default (OK, or Yes for a
// confirmation) and written to standard error as one line
//   box: <type>: <text> (caption "<caption>", answered <OK|Yes>)
// type being error, warning, information or confirmation; line breaks in the text read "\n".
namespace AutoAnswerBoxes {

ModalBoxes::Answer answer(const ModalBoxes::Request& request);

}  // namespace AutoAnswerBoxes

// With VESMOR_AUTO_ANSWER_BOXES=1 in the environment every box is answered that way on any
// platform (on the offscreen platform they always are), for scripts that drive the program on a
// display.
void installAutoAnswerFromEnvironment();
