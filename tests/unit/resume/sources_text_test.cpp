#include <gtest/gtest.h>

#include "resume/resume_records.h"

namespace rd {
namespace {

TEST(SourcesText, TheFirstSourcesNameAndHowManyMore) {
    const struct {
        const char* first;
        size_t count;
        const char* more;
        const char* text;
    } cases[] = {
        {"/home/me/a.txt", 1, "%s + %u more", "a.txt"},
        {"/home/me/photos/", 1, "%s + %u more", "photos"},
        {"/home/me/a.txt", 3, "%s + %u more", "a.txt + 2 more"},
        {"/", 2, "%s + %u more", "/ + 1 more"},
        {"/x/b", 5, "%s und %u weitere", "b und 4 weitere"},
        {"/x/b", 2, "%s (+%u)", "b (+1)"},
        {"", 0, "%s + %u more", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SourcesText(c.first, c.count, c.more), c.text) << c.first << " " << c.count;
}

}  // namespace
}  // namespace rd
