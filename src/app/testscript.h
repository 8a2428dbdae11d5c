#pragma once

#include <QString>

namespace sv {

class MainFrame;

// A test seam for the real program, used only by tests that start it as a process: when
// the environment variable SONGVANE_TEST_SCRIPT names a file, its lines are carried out
// one by one once the frame has started, as a user would at the keyboard:
//   open <procedure>        starts a procedure as its menu entry does ("BrowseSongs")
//   press <caption>         presses the button of that caption ("&Add") in the newest window
//                           (a dialog holding the input, else the newest window in the frame)
//   type <prompt>=<text>    types into the field after that prompt ("&Title:=Le Freak")
//   select <text>           makes the list row showing that text the current one
//   answer <button>         answers the next question (Yes, No, Cancel, Ok)
//   choose <path>           answers the next file or folder dialog with that path
//   say <text>              writes the text as a line on the standard output
// Every question the program asks is written to the standard output as
// "question: <caption>: <text>"; one without a scripted answer is shown as usual.
// Does nothing when the variable is not set.
void runTestScript(MainFrame &frame);

} // namespace sv
