#pragma once
// Return or keypad Enter on a focused, enabled push button presses it, in
// both windows alike; neither window has a default button for the key.

class QKeyEvent;
class QWidget;

// True when the key pressed a button of the window.
bool PressFocusedButton(QWidget *window, const QKeyEvent *event);
