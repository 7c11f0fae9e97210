// Movies: the motion-movie file, the player interface and factory, the motion and FLIC
// players, and the movie API.
#pragma once

#include "movie/FlicPlayer.h"
#include "movie/MotionFile.h"
#include "movie/MotionPlayer.h"
#include "movie/MoviePlayer.h"
