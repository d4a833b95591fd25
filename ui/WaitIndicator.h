#pragma once
// While the windows wait for another program (a file's lock, the
// administrator's authentication), they go on painting, can be moved and
// answer screen readers, but take no input, so that no handler runs again
// before the one that waits has ended. After about a second a modal box says
// what they wait for, until the wait is over.

// Makes this process wait so; the program's entry calls it once.
void WaitWithWindowsPainting();
