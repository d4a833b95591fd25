#pragma once
// What screen readers get beyond Qt's own accessibility: the main window as a
// window with its title (Qt calls a plain top-level widget a client area),
// and the link label as a link that can be pressed.

// Registers the interfaces; safe to call more than once.
void InstallAccessibleRoles();
