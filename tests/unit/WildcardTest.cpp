// The device search's name patterns.
#include "platform/common/Wildcard.h"

#include <gtest/gtest.h>

namespace kestrun::platform {
namespace {

TEST(Wildcard, StarsQuestionMarksAndCase)
{
    struct Case {
        const wchar_t* pattern;
        const wchar_t* text;
        bool matches;
    };
    const Case cases[] = {
        {L"*", L"COM1:", true},       {L"*", L"", true},              {L"", L"", true},
        {L"", L"a", false},           {L"com?:", L"COM1:", true},     {L"COM?:", L"COM10:", false},
        {L"COM*:", L"COM10:", true},  {L"*:", L"DSK1:", true},        {L"*:", L"ttyS0", false},
        {L"a*b*c", L"aXbYbZc", true}, {L"a*b*c", L"aXbYcZ", false},   {L"**a", L"ba", true},
        {L"?", L"", false},           {L"*?", L"", false},            {L"tty*", L"TTYS0", true},
        {L"0000:00:0?.0", L"0000:00:03.0", true},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.pattern, c.text), c.matches) << c.pattern << L" " << c.text;
}

}  // namespace
}  // namespace kestrun::platform
