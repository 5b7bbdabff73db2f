// Inner state of the score module that tests set directly (a game at line
// 198, a drop timer in a given phase). Only tests include this.
#pragma once
#include "game/score.h"

ScoreState& score_state_mutable();
int32_t     score_level_delay(int32_t level);  // gravity delay of level 0..19
void        score_reset();                     // back to program start (countdown 25)
