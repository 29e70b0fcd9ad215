#include "display/core/Format.h"
#include "display/core/MessageBox.h"
#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrun {
namespace {

using platform::FileTime;

TEST(FormatSize, UsesBytesKilobytesAndMegabytesAtTheirBoundaries)
{
    const std::vector<std::pair<uint64_t, std::wstring>> cases = {
        {0, L"0"},           {1023, L"1023"},         {1024, L"1 kB"},          {1535, L"1 kB"},
        {1048575, L"1023 kB"}, {1048576, L"1 MB"},     {1048577, L"1.00 MB"},    {1572864, L"1.50 MB"},
        {4294967295u, L"4096.00 MB"}, {3u * 1048576u, L"3 MB"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatSize(bytes), text) << bytes;
}

TEST(FormatSize, KeepsCountingPastFourGigabytes)
{
    EXPECT_EQ(FormatSize(5ull * 1024 * 1024 * 1024), L"5120 MB");
}

TEST(FormatMilliseconds, SplitsIntoHoursMinutesSecondsAndMilliseconds)
{
    EXPECT_EQ(FormatMilliseconds(0), L"0:00:00.000");
    EXPECT_EQ(FormatMilliseconds(59999), L"0:00:59.999");
    EXPECT_EQ(FormatMilliseconds(3723004), L"1:02:03.004");
    EXPECT_EQ(FormatMilliseconds(86400000), L"24:00:00.000");
    EXPECT_EQ(FormatMilliseconds(0xFFFFFFFFu), L"1193:02:47.295");
}

TEST(FileTimeArithmetic, ConvertsAndSubtractsWithTheDocumentedWrap)
{
    EXPECT_EQ(FileTimeToMilliseconds(FileTime{9999, 0}), 0u);
    EXPECT_EQ(FileTimeToMilliseconds(FileTime{0, 1}), 429496u);  // 2^32 / 10000
    EXPECT_EQ(FileTimeDifference(FileTime{5, 0}, FileTime{4, 0}), 0u);
    EXPECT_EQ(FileTimeDifference(FileTime{5, 0}, FileTime{5, 0}), 0u);
    EXPECT_EQ(FileTimeDifference(FileTime{10, 0}, FileTime{25, 0}), 15u);
    // A difference of 2^32 + 7 keeps only its low 32 bits.
    EXPECT_EQ(FileTimeDifference(FileTime{0, 0}, FileTime{7, 1}), 7u);
    // The high halves are compared too: a smaller low half can still be newer.
    EXPECT_EQ(FileTimeDifference(FileTime{0xFFFFFFF0u, 0}, FileTime{0x10u, 1}), 0x20u);
}

TEST(DirectoryOf, CutsAtTheLastSeparatorOfThePathStyle)
{
    EXPECT_EQ(DirectoryOf(L"\\Windows\\device.exe"), L"\\Windows");
    EXPECT_EQ(DirectoryOf(L"device.exe"), L"");
    EXPECT_EQ(DirectoryOf(L"\\nk.exe"), L"");
    EXPECT_EQ(DirectoryOf(L"/usr/bin/bash"), L"/usr/bin");
    EXPECT_EQ(DirectoryOf(L"/init"), L"");
    // A backslash inside a Linux file name is not a separator.
    EXPECT_EQ(DirectoryOf(L"/opt/odd\\name"), L"/opt");
}

TEST(ErrorMessage, KeepsOnlyTheFirstLineWithoutTrailingStopsAndBlanks)
{
    EXPECT_EQ(FormatErrorMessage(L"The update timer cannot be set.", 8, L"Not enough storage is available.\r\n"),
              L"The update timer cannot be set.\nError: 8 (Not enough storage is available)");
    EXPECT_EQ(FormatErrorMessage(L"X", 2, L"First line\nsecond line"), L"X\nError: 2 (First line)");
    EXPECT_EQ(FormatErrorMessage(L"X", 2, L"tab\tinside ..."), L"X\nError: 2 (tab\tinside)");
    EXPECT_EQ(FormatErrorMessage(L"X", 5, L""), L"X\nError: 5 ()");
    EXPECT_EQ(FormatErrorMessage(L"X", 5, L". . ."), L"X\nError: 5 ()");
}

TEST(ErrorMessage, PrintsAnErrorNumberWithTheTopBitSetAsNegative)
{
    EXPECT_EQ(FormatErrorMessage(L"X", 0x80004005u, L"Unspecified"), L"X\nError: -2147467259 (Unspecified)");
}

TEST(ShowError, ReadsTheLastErrorAndShowsItsSystemTextInAnOkBox)
{
    std::vector<MessageBoxRequest> shown;
    const auto previous = SetMessageBoxHandler([&](const MessageBoxRequest& r) {
        shown.push_back(r);
        return kIdOk;
    });
    platform::SetLastError(2);  // ENOENT
    ShowError(L"The process cannot be accessed.");
    SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, L"The process cannot be accessed.\nError: 2 (No such file or directory)");
    EXPECT_EQ(shown[0].style, kMbOk | kMbIconExclamation);
}

TEST(ShowError, ShowsTheFailingCallsOwnTextUntilTheLastErrorIsSetAgain)
{
    std::vector<std::wstring> shown;
    const auto previous = SetMessageBoxHandler([&](const MessageBoxRequest& r) {
        shown.push_back(r.text);
        return kIdOk;
    });
    platform::FailWithText(2, L"org.freedesktop.systemd1.NoSuchUnit: Unit nope.service not found.\nmore");
    ShowError(L"The service cannot be started.");
    platform::Fail(2);
    ShowError(L"The service cannot be started.");
    SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], L"The service cannot be started.\nError: 2 (org.freedesktop.systemd1.NoSuchUnit: Unit nope.service not found)");
    EXPECT_EQ(shown[1], L"The service cannot be started.\nError: 2 (No such file or directory)");
}

TEST(MessageBoxStyle, GivesBoxesWithoutAnIconTheFrameworkDefault)
{
    EXPECT_EQ(WithDefaultIcon(kMbOk), kMbOk | kMbIconExclamation);
    EXPECT_EQ(WithDefaultIcon(kMbOkCancel), kMbOkCancel | kMbIconExclamation);
    EXPECT_EQ(WithDefaultIcon(kMbYesNo | kMbDefButton2), kMbYesNo | kMbDefButton2 | kMbIconQuestion);
    EXPECT_EQ(WithDefaultIcon(kMbOk | kMbIconInformation), kMbOk | kMbIconInformation);
}

}  // namespace
}  // namespace kestrun
