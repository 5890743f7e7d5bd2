#pragma once

#include "app/app_state.h"

#include <cstdint>
#include <limits>
#include <string>

// Uniform integer in 0..upper from a 32-bit engine's outputs, without modulo bias.
template <class Engine> uint32_t DrawUpTo(Engine& engine, uint32_t upper)
{
    static_assert(Engine::min() == 0 && Engine::max() == std::numeric_limits<uint32_t>::max());
    if (upper == std::numeric_limits<uint32_t>::max()) {
        return static_cast<uint32_t>(engine());
    }
    const uint64_t range = uint64_t{upper} + 1;
    // Reject the top slice of the 2^32 outputs that would make some values more likely.
    const uint64_t accepted = (uint64_t{1} << 32) - ((uint64_t{1} << 32) % range);
    for (;;) {
        const uint64_t draw = engine();
        if (draw < accepted) {
            return static_cast<uint32_t>(draw % range);
        }
    }
}

// Replace g_app.shuffleOrder with a fresh permutation of the picture
// positions that does not start with g_app.index; restart the cycle.
void BuildShuffleOrder();

// Set the next picture as wallpaper, skipping pictures that are gone or
// refused; save the position on success, otherwise show one balloon.
void SwapWallpaper();

// Make `folder` the wallpaper folder and show its first picture at once (in
// Random, the first of a fresh cycle); a folder without pictures gets a balloon.
void StartFolder(const std::wstring& folder);

// Swap in this order from now on; a Random cycle starts afresh, so it never
// opens with the picture on show.
void SetRotationMode(RotationMode mode);
