// What the steering and the input translation use of the game above them: the GUI master's
// active control cockpit and the events on the game's own script module. Installed once by
// WinMain (and by tests that run the real frame); holds no state of its own.
#pragma once

void InstallSteeringHost();
