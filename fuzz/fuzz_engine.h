#pragma once
// Helpers of the targets of the engine's files.
#include <filesystem>
#include <string>

#include "engine/evaluation.h"

namespace quorlin::fuzz {

// Whole contents of a file ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);

// Scores the usual start position of `variant` and its colour-swapped twin with
// both evaluations, so that weights read from a file are used as the search
// uses them.
void EvaluateStart(const TEvalFuncStatic& evf, int variant);

}  // namespace quorlin::fuzz
