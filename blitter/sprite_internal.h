// Test seam of the sprite module: makes the host's allocations fail on
// purpose, so that the give-back path of sprite_create can be exercised.
// Only tests include this.
#pragma once

// The next `successes` host allocations made by sprite_create (the record,
// then one bitmap per variant) succeed and the one after fails, as if the host
// were out of memory; later ones succeed again. A negative value turns the
// failure off (the default).
void sprite_fail_allocation_after(int successes);
