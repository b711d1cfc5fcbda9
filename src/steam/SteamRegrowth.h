#pragma once

class DropletsScreen;

// Steam that comes back, as on a real window: once a frame, after compositing, wiped glass fogs
// up again by one step of the steam's 8-bit alpha every kRegrowthPeriod frames, from clear to
// fully fogged in about a minute. (A per-frame step that small would round to nothing.)
constexpr int kRegrowthPeriod = 12;
void regrowSteam(DropletsScreen& screen);
