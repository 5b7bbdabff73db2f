// The palette's side for the machine layer.
#pragma once

// Computes the palette and hands it to the host. Called after every
// successful graphics-mode change.
void palette_build();
