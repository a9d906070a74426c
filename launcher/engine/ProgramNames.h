// Names by which other programs and later starts of the launcher find it.
#pragma once

// The input window's class and title. Also how message boxes find their
// owner.
#define MAIN_WINDOW_CLASS "Pellor by Qel"
