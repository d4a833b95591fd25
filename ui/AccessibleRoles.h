#pragma once
// What screen readers get beyond Qt's own accessibility: the main window as a
// window with its title (Qt calls a plain top-level widget a client area),
// the link label as a link that can be pressed, and the multi-line text
// areas with where each character stands (AccessibleTextArea).

// Registers the interfaces; safe to call more than once.
void InstallAccessibleRoles();
