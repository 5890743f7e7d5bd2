#pragma once

#include <cstdint>
#include <random>

// Uniform integer in 0..upper from the engine's 32-bit outputs, without modulo bias.
uint32_t DrawUpTo(std::mt19937& rng, uint32_t upper);

// Replace g_app.shuffleOrder with a fresh permutation of the picture
// positions that does not start with g_app.index; restart the cycle.
void BuildShuffleOrder();

// Set the next picture as wallpaper, skipping pictures that are gone or
// refused; save the position on success, otherwise show one balloon.
void SwapWallpaper();
