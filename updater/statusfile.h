// The main window's status panel mirrored into a file, for scripts that drive the
// program without looking at it. ZELTO5_STATUS_FILE names the file; it is replaced
// whenever the panel shows a new colour, status text or info text, and holds
//   panel=#rrggbb
//   status=<status text>
//   info=<info text>
// (line breaks inside a text become blanks).
#pragma once

class QLabel;
class QWidget;

// Watches the panel and its two labels while they live; nothing when the
// variable is unset or empty.
void MirrorStatusPanel(QWidget* panel, QLabel* status, QLabel* info);
