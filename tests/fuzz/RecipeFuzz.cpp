// Any text as a recipe: read it or say what is wrong with it, never crash, never take a step
// that was refused, and a step without a problem always knows its kind.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli/Recipe.h"
#include "tests/fuzz/Scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = prax::fuzz::ScratchFolder() + "/recipe.toml";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    std::vector<std::string> problems;
    const auto recipe = prax::cli::LoadRecipe(path, prax::cli::Invocation{}, problems);
    if (!recipe) {
        if (problems.empty()) std::abort();
        return 0;
    }
    bool anyBad = false;
    for (const prax::cli::RecipeStep& step : recipe->steps) {
        anyBad = anyBad || step.bad;
        if (!step.bad && step.kind.empty()) std::abort();
        (void)step.Describe();
    }
    if (anyBad && problems.empty()) std::abort();
    return 0;
}
