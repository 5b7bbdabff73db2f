// orvalin-hello: a small program of the Orvalin machine, to read before
// writing one's own. It draws a raw picture scaled and tilted, prints text
// with the font bank, moves the picture with the cursor keys, and on Space
// changes the picture's palette variant and plays a sound effect by writing
// the sound chip's ports, over a PSG tune. It ends on Esc or the close button.
//
// Usage: orvalin-hello [DATA_DIR]   (logo.raw, tahoma.fnt and menu2.psg,
// installed beside this example in data/; DATA_DIR defaults to the working
// directory)
#include <cstdint>
#include <cstdio>

#include "blitter/bank.h"
#include "blitter/draw.h"
#include "blitter/fixed.h"
#include "blitter/picture.h"
#include "blitter/sprite.h"
#include "machine/keyboard.h"
#include "machine/machine.h"
#include "sound/ports.h"
#include "sound/psg.h"
#include "sound/registers.h"

namespace {

// The game's logo: a raw picture, headerless, one byte per pixel of which
// the top four bits are the pixel value (0..15).
constexpr int LOGO_WIDTH = 320, LOGO_HEIGHT = 42;

constexpr int EFFECT_FRAMES = 15;  // the sound effect's length: 0.3 s

struct Scene {
  Sprite* logo = nullptr;   // the picture, 16 luma variants
  Sprite* fill = nullptr;   // one grey pixel, stretched over the screen
  int32_t x = 40, y = 90;   // the picture's top-left corner, whole pixels
  int32_t variant = 15;     // palette variant of the picture: its brightness
  uint8_t prev_space = 0;   // Space's bit in the last frame: 0 up, 1 down
  int     effect = 0;       // frames of the sound effect still to play
};

char path_buffer[1024];
const char* data_path(const char* folder, const char* name) {
  std::snprintf(path_buffer, sizeof path_buffer, "%s/%s", folder, name);
  return path_buffer;
}

void write_register(int reg, int value) {
  sound_out(PORT_REGISTER_SELECT, reg);
  sound_out(PORT_REGISTER_DATA, value);
}

// One frame of the effect: channel C sweeps down in pitch and fades out. The
// effect borrows channel C from the music, whose later writes take it back.
void effect_frame(Scene& scene) {
  if (scene.effect == 0) return;
  const int step = EFFECT_FRAMES - scene.effect;  // 0, 1, 2, ...
  const int period = 120 + 40 * step;  // 110794 Hz / (period + 1): 920 Hz down to 160 Hz
  write_register(REG_C_PERIOD_LOW, period & 0xFF);
  write_register(REG_C_PERIOD_HIGH, period >> 8);
  write_register(REG_MIXER, 0x38);  // the three tones on, noise off
  write_register(REG_C_AMPLITUDE, scene.effect);
  if (--scene.effect == 0) write_register(REG_C_AMPLITUDE, 0);
}

void read_keys(Scene& scene) {
  const uint8_t arrows = uint8_t(~keyboard_read_row(KEYBOARD_ROW_ARROWS));  // 1 = held
  if (arrows & KEYBOARD_BIT_LEFT) scene.x -= 2;
  if (arrows & KEYBOARD_BIT_RIGHT) scene.x += 2;
  if (arrows & KEYBOARD_BIT_UP) scene.y -= 2;
  if (arrows & KEYBOARD_BIT_DOWN) scene.y += 2;
  // Space acts when it goes down, not in every frame while it is held.
  const uint8_t space = (keyboard_read_row(KEYBOARD_ROW_SPACE) & KEYBOARD_BIT_SPACE) ? 0 : 1;
  if (space && !scene.prev_space) {
    scene.variant = (scene.variant + 5) & 15;
    scene.effect = EFFECT_FRAMES;
  }
  scene.prev_space = space;
}

void draw(const Scene& scene) {
  // The background: pixel value 10 in COLOUR_MODE_CHROMA has neutral colour
  // differences, so the variant (2) alone sets a dark grey.
  sprite_draw(scene.fill, 2, 0, 0, SCREEN_WIDTH * FIXED_ONE, SCREEN_HEIGHT * FIXED_ONE, 0, 0);
  // The logo at 3/4 width and 1.5 times the height, each row a quarter pixel
  // further right than the one above: scaled and tilted. The logo's white
  // surround (pixel value 15, its key) lets the background show through.
  sprite_draw_keyed(scene.logo, scene.variant, scene.x * FIXED_ONE, scene.y * FIXED_ONE,
                    FIXED_ONE * 3 / 4, FIXED_ONE * 3 / 2, FIXED_ONE / 4, 0);
  text_draw(8 * FIXED_ONE, 8 * FIXED_ONE, 15, "Hello from the Orvalin");
  text_draw(8 * FIXED_ONE, 200 * FIXED_ONE, 12, "Cursor keys move, Space rings");
  text_draw(8 * FIXED_ONE, 220 * FIXED_ONE, 9, "x %d  y %d  variant %d", int(scene.x),
            int(scene.y), int(scene.variant));
}

}  // namespace

int program_main(int argc, char** argv) {
  const char* data = argc > 1 ? argv[1] : ".";
  if (!machine_init()) {
    const char* reason = machine_host_error();  // the host's words, or ""
    std::fprintf(stderr, "orvalin-hello: no display could be opened%s%s\n", *reason ? ": " : "",
                 reason);
    machine_shutdown();
    return 1;
  }
  machine_set_title("Orvalin: hello");
  Scene scene;
  scene.logo = picture_load(data_path(data, "logo.raw"), LOGO_WIDTH, LOGO_HEIGHT, 15, 0);
  const uint8_t grey = 10;
  scene.fill = sprite_create(COLOUR_MODE_CHROMA, &grey, PIXEL_FORMAT_BYTE, 1, 1, 0);
  const int found = scene.logo && bank_load(data_path(data, "tahoma.fnt")) &&
                    psg_open(data_path(data, "menu2.psg"), -1);
  if (!found) {
    std::fprintf(stderr, "orvalin-hello: logo.raw, tahoma.fnt or menu2.psg missing in %s\n", data);
  } else {
    // One pass per frame: read the keys, draw into the back buffer, show it
    // (this waits for the frame's end), then the sound for the next frame.
    // The keyboard matrix reads 0 for a key held.
    while (!machine_quit_requested() && (keyboard_read_row(KEYBOARD_ROW_ESC) & KEYBOARD_BIT_ESC)) {
      read_keys(scene);
      draw(scene);
      machine_present();
      psg_step();
      effect_frame(scene);
    }
  }
  psg_stop();
  bank_free();
  sprite_destroy(scene.logo);
  sprite_destroy(scene.fill);
  machine_shutdown();
  return found ? 0 : 1;
}
