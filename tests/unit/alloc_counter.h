// Counts heap allocations made through operator new while counting is on.
#pragma once

namespace alloc_counter {
// Starts counting from zero.
void Start();
// Stops counting and returns how many allocations were made since Start.
long Stop();
}  // namespace alloc_counter
