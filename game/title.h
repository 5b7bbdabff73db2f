// The effects of the screens before a game: the tumbling logo of the intro,
// the fade and unwinding title picture of the reveal, and the title menu with
// its help lines and the glittering message scrolling along the bottom. Each
// runs once per frame, draws on top of the plain fill and keeps its own state.
#pragma once
#include <cstdint>

struct Sprite;

inline constexpr int SCROLL_TEXT_LENGTH = 1709;  // characters, without the terminator
inline constexpr int SCROLL_WINDOW_SIZE = 2048;  // bytes of the scroller window

// The scrolling welcome and credits: ten paragraphs between runs of blanks,
// ASCII 9..122 (it reaches the text drawer as a "%s" argument).
extern const char scroll_text[SCROLL_TEXT_LENGTH + 1];

// One frame of the logo intro: draws `logo` (320 x 42, may be absent) turned
// by the logo angle about the screen's centre, then advances the angle. -1
// once the angle has passed pi (the 240th frame): the intro is over.
int title_logo_frame(const Sprite* logo);

// One frame of the title reveal. For its first 15 frames it only darkens the
// plain fill (`fill_luma` -= 1); then it draws `title` (195 x 26) tilted and
// stretched by an amount that shrinks to nothing at its 160th frame.
void title_reveal_frame(const Sprite* title, int32_t& fill_luma);

// One frame of the title menu: the title picture, the five help lines and the
// scroller, which moves 5 pixels to the left.
void title_menu_frame(const Sprite* title);

// Puts the scroller back to the start of the message at x = 0 (entering the
// title menu).
void title_scroll_reset();
