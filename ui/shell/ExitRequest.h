#pragma once

class Application;

// A request from outside to end the run (a termination signal: the session ending, Ctrl+C, a
// closed terminal). It ends the run as the close box does, so nothing recorded is lost: both
// files are written at once, then whatever runs a loop of its own gives way first (open boxes
// and dialogs are rejected, the login answers "Quit", a range export is cancelled), and the
// main window closes once none is running any more.
void endRunOnRequest(Application& app);
