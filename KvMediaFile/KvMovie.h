// Movies: the motion-movie file, the player interface and factory, the motion player, and
// the movie API.
#pragma once

#include "movie/MotionFile.h"
#include "movie/MotionPlayer.h"
#include "movie/MoviePlayer.h"
