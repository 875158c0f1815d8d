#pragma once

class QLabel;
class QString;
class Ui_MainWindow;

// Gives every control of the window a name and a description that a screen reader reads
// out, and a tooltip that names it with its key; fits the now-playing labels to the window
// (see FittedLabel), whose texts a screen reader hears whenever they change.
void describeControls(Ui_MainWindow *ui);

// Sets the text of a label whose text is its name, and tells a screen reader of the change
// so that it is read out.
void announceText(QLabel *label, const QString &text);
