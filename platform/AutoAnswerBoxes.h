#pragma once

// Lets the program run without a person to answer its boxes. With VESMOR_AUTO_ANSWER_BOXES=1 in
// the environment every modal box is answered at once with its default (OK, or Yes for a
// confirmation) and its text goes to standard error as one line "box: <kind>: <text>", kind
// being error, warning, information or confirmation; line breaks in the text read "\n".
void installAutoAnswerFromEnvironment();
