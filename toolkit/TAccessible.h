#pragma once

// Tells assistive technology what the controls are:
// - a label is static text read by its caption, and a label with a click handler
//   is a link whose press action clicks it;
// - a panel is a pane, a picture a graphic;
// - a page control is a list of page tabs: each tab lies where its header is
//   drawn, is selected while its page shows, and is selected by its press action;
// - the application's main form is a frame, every other form a dialog, each read
//   by its title.
// Installs the factory once; repeated calls do nothing.
void InstallAccessibility();
