#include <gtest/gtest.h>

#include <optional>

#include "cli/Outcome.h"

using prax::cli::Outcome;

// Every outcome's word, as the result object, the log record and the table spell it: scripts and
// log collectors match these words.
TEST(Outcome, EachOutcomeHasTheWordScriptsRead) {
    using Operation = prax::protocol::Outcome;
    struct Case {
        Outcome outcome;
        const char* word;
        std::optional<Operation> of;  // the operation's outcome it stands for, where it is one
    } cases[] = {
        {Outcome::Done, "done", Operation::Done},
        {Outcome::Cancelled, "cancelled", Operation::Cancelled},
        {Outcome::Refused, "refused", Operation::Refused},
        {Outcome::OpenFailed, "open-failed", Operation::OpenFailed},
        {Outcome::Stopped, "stopped", Operation::Stopped},
        {Outcome::Interrupted, "interrupted", Operation::Interrupted},
        {Outcome::Checked, "checked", Operation::Checked},
        {Outcome::Failed, "failed", std::nullopt},
        {Outcome::Usage, "usage", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_STREQ(prax::cli::OutcomeWord(c.outcome), c.word);
        if (c.of) {
            EXPECT_EQ(prax::cli::OutcomeOf(*c.of), c.outcome);
        }
    }
}
