// The process-wide table of bitmap handles: how one Image object reaches another's
// bitmap through a plain integer that a script can carry. Handles count up from 1, so an
// old handle names no newer bitmap until two thousand million others were given out;
// after the largest value the count starts again at 1, passing over handles still in
// use, so a server process that runs for months never runs out of them.
#pragma once

#include <cstdint>

namespace kelv::raster {

class Bitmap;

namespace handles {

// A new handle naming `bmp`; raises a Failure when every value is in use.
int32_t give(Bitmap* bmp);
// Ends `handle`: it names no bitmap from now on.
void end(int32_t handle);
// The live bitmap `handle` names, or null: a stale or forged handle names none.
Bitmap* find(int32_t handle);
// Where the numbering of new handles goes on: for tests of a long-running process.
void continue_at(int32_t next);

}  // namespace handles
}  // namespace kelv::raster
