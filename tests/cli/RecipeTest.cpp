// Reading a recipe: lengths of time, and the problems a recipe's own text can have, each said
// with its line, all of them at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/Recipe.h"

using namespace prax::cli;

TEST(Recipe, LengthsOfTime) {
    const struct {
        const char* text;
        bool ok;
        std::uint32_t ms;
    } cases[] = {
        {"60s", true, 60000}, {"2 s", true, 2000},  {"1.5s", true, 1500}, {"500ms", true, 500},
        {"2m", true, 120000}, {"8h", true, 28800000}, {"0s", true, 0},    {"8.1h", false, 0},
        {"-1s", false, 0},    {"5", false, 0},      {"s", false, 0},      {"1e9h", false, 0},
        {"nan s", false, 0},  {"2 sec", false, 0},  {"", false, 0},
    };
    for (const auto& c : cases) {
        std::uint32_t ms = 0;
        EXPECT_EQ(ParseDuration(c.text, ms), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
    EXPECT_EQ(DurationText(2000), "2 s");
    EXPECT_EQ(DurationText(1500), "1.5 s");
    EXPECT_EQ(DurationText(500), "500 ms");
}

TEST(Recipe, EveryProblemOfItsTextIsToldWithItsLine) {
    const std::string path = ::testing::TempDir() + "problems.toml";
    std::ofstream(path) << "name = \"x\"\n"                              // 1
                           "owner = \"me\"\n"                            // 2
                           "[[step]]\ninit = true\nslot = \"TA\"\n"      // 3-5
                           "[[step]]\nfont-file = \"a.ttf\"\n"           // 6-7
                           "[[step]]\nsend = \"one\"\nraw = \"x.prn\"\n"  // 8-10
                           "[[step]]\nwait = \"forever\"\n"               // 11-12
                           "[[step]]\nchannel = 26\n";                    // 13-14
    Invocation given;
    given.yes = true;
    std::vector<std::string> problems;
    const auto recipe = LoadRecipe(path, given, problems);
    ASSERT_TRUE(recipe);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            path + ":2: a recipe takes name and [[step]], not \"owner\"",
                            path + ":5: step 1 (init): init takes no \"slot\"",
                            path + ":6: step 2 (font-file): font-file needs the name the printer gets, e.g. name = "
                                   "\"Corporate (TrueType)\"",
                            path + ":10: step 3 (send): a step does one thing: \"raw\" beside \"send\"",
                            path + ":12: step 4 (wait): wait takes \"printer\": until it is back after its restart",
                            path + ":14: step 5 (channel): channel takes one of \"00\", \"25\" and \"49\"",
                        }));
    // The command line's answers go with every step, and paths are the recipe folder's.
    EXPECT_TRUE(recipe->steps[0].inv.yes);
    EXPECT_EQ(recipe->steps[1].file, (std::filesystem::path(::testing::TempDir()) / "a.ttf").lexically_normal().string());
    EXPECT_EQ(recipe->steps[2].inv.lines, std::vector<std::string>{"one"});
}
