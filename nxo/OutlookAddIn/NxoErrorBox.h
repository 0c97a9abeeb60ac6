#pragma once
// The add-in's error box: every failure the add-in tells its user of is shown
// through here, so that a command's guard can tell whether its failure has
// been told already and tells it once when it has not.

#include <windows.h>

#include <string>

// Shows the text over the owner.
void ShowNxoErrorBox(HWND owner, const std::wstring& text);
// The error boxes shown on the calling thread so far.
unsigned CountNxoErrorBoxes();
