#pragma once

class Ui_MainWindow;

namespace zuna {

// Gives every control of the window a name and a description that a screen reader reads
// out, and a tooltip that names it with its key; fits the now-playing labels to the window
// (see FittedLabel). Their texts are their names, so that a screen reader hears each new
// one: the toolkit tells it of a label's new text unless the label has a name of its own.
void describeControls(Ui_MainWindow *ui);

}  // namespace zuna
