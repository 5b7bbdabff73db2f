// The perfect host: an audio stream that the pump may fill only up to the
// machine's current time, so every register write takes effect at output
// sample floor(147 x sound_time / 11818) and the catch-up never fires. Used by
// the tools that render the machine's sound to files.
#pragma once
#include <cstdint>

// Installs the offline host (call before machine_init). Every filled buffer of
// samples goes to `sink` with `user`, in order.
void sound_offline_install(void (*sink)(const uint16_t* samples, int count, void* user),
                           void* user);

// Renders the samples still owed up to the current sound time and passes them
// to the sink. Call before machine_shutdown.
void sound_offline_flush();
