// The port interface's start-up, for the sound chip's own.
#pragma once

// Register 0 selected. Part of sound_init.
void sound_ports_reset();
