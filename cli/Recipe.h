// praxdl apply RECIPE: the steps a printer is given in one run (firmware, a wait for its restart,
// fonts, code tables, settings), read from a TOML file. Every step but a pause and a wait is one
// of praxdl's own commands, run exactly as its single run would run it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

struct RecipeStep {
    std::string kind;        // "firmware", "font-file", "send", ..., "pause", "wait"
    Invocation inv;          // the command it runs, as its single run's command line would give it
    std::string file;        // the file it sends, relative to the working folder; empty: none
    std::string pin;         // the SHA-256 the file must have, in lower-case hex; empty: none
    std::uint32_t ms = 0;    // a pause's length, a wait's bound
    int line = 0;            // where the step starts in the recipe
    int fileLine = 0;        // where its file is named
    int pinLine = 0;         // where its sha256 is
    bool bad = false;        // the recipe has a problem with this step itself
    std::unique_ptr<Prepared> prepared = std::make_unique<Prepared>();

    bool Sends() const { return kind != "pause" && kind != "wait"; }
    // How progress and the table name it: "font TB", "firmware prax-2.4.bin", "pause 2 s".
    std::string Describe() const;
};

struct Recipe {
    std::string path;    // as given
    std::string name;    // its own name; the file's name when it gives none
    std::string sha256;  // of the recipe file
    std::uint64_t size = 0;
    std::vector<RecipeStep> steps;
};

// The recipe at `path`, each step with the options the command line gave (answers, --quiet,
// --json). What is wrong with it is added to `problems`, one line each with the recipe's name and
// the line it is on; a recipe with a problem is never run. Null only when it can't be read as TOML.
std::unique_ptr<Recipe> LoadRecipe(const std::string& path, const Invocation& given, std::vector<std::string>& problems);

// The problems in the order of the recipe's lines (those of the recipe as a whole first).
void SortProblems(const std::string& path, std::vector<std::string>& problems);

// "60s", "2 s", "1.5s", "500ms", "2m", "1h": milliseconds; false when it is no length of time.
bool ParseDuration(const std::string& text, std::uint32_t& ms);
// "2 s", "1.5 s", "500 ms".
std::string DurationText(std::uint32_t ms);

}  // namespace prax::cli
