// A recipe checked whole before any link opens, its plan, and its steps run on one printer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "cli/Recipe.h"
#include "cli/Run.h"

namespace prax::cli {

// Everything the steps need that can be had before a link opens, checked on this host as a run to
// `target` would check it: each font found, each file read whole and checked as its operation
// checks it (so a step sends the very bytes checked here), and each pinned file held to its
// SHA-256. The problems, one line each.
std::vector<std::string> CheckRecipe(Recipe& recipe, const Target& target, Host& here);

// --dry-run: each step, its file, the bytes its stream has and their time at 115200 baud, and the
// total; with `json` an object each. Every step's stream is made as --output would make it, so the
// figures are the stream's own.
int PrintPlan(Recipe& recipe, Host& here, Streams& io, bool json);

// What the run of a recipe tells of each step (from 1): before it runs, with the words it
// speaks through, and after it ended (a step that failed, or whose record could not be written,
// ends the recipe).
struct StepWatch {
    std::function<void(std::size_t step, LinkOutput& out)> started;
    std::function<void(std::size_t step, Ending& e)> ended;
};

// The recipe's steps on the printer of `target` through `host`, in order, until one fails.
Ending RunRecipe(Recipe& recipe, Target target, Host& host, const LinkOutput& out, const StepWatch& watch);

}  // namespace prax::cli
