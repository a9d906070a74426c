// The class and title of the start-up benchmark's empty window, by which
// the benchmark finds it on the screen.
#pragma once

constexpr char kEmptyWindowClass[] = "Tarnic bench: empty window";
