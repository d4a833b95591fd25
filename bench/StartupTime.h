#pragma once
// Start-up time under Xvfb: from starting a program to its first top-level
// window being mapped, for the real program and for a minimal Qt Widgets
// program as the floor (with one label, and empty). Prints a Markdown table.

#include <QByteArray>

// Empty paths, or a build without xcb, print why nothing was measured.
void PrintStartupTimes(int runs, const QByteArray &program, const QByteArray &floorProgram);
