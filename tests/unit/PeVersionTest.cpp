// The version resource of Windows executables, read from the file: the
// translation table's string table, the US English fallback, and files that are
// damaged anywhere (every truncation of a valid image) giving nothing.
#include "PeImageWriter.h"
#include "platform/common/PeVersion.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

using namespace testing;
using platform::PeVersionInfo;
using platform::VersionInfo;

const std::vector<std::pair<std::u16string, std::u16string>> kStrings = {
    {u"FileDescription", u"Telnet server"},
    {u"FileVersion", u"5.0.1400"},
    {u"LegalCopyright", u"(c) Kestrel Devices"},
    {u"CompanyName", u"Kestrel Devices"},
};

TEST(PeVersion, TheTranslationsStringTableIsReadFirst)
{
    for (const bool wide : {false, true}) {
        const auto info = PeVersionInfo(PeImage(VersionResource(u"040904b0", kStrings, {{0x0409, 0x04B0}}), wide));
        ASSERT_TRUE(info) << wide;
        EXPECT_EQ(info->fileDescription, L"Telnet server");
        EXPECT_EQ(info->fileVersion, L"5.0.1400");
        EXPECT_EQ(info->legalCopyright, L"(c) Kestrel Devices");
        EXPECT_EQ(info->companyName, L"Kestrel Devices");
        EXPECT_EQ(info->productName, L"");
    }
}

TEST(PeVersion, AnotherLanguageFallsBackToTheUsEnglishTable)
{
    const auto info = PeVersionInfo(PeImage(VersionResource(u"040904E4", kStrings, {{0x0407, 0x04B0}})));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->fileDescription, L"Telnet server");  // found as 040904e4, whatever the case

    // A table of neither name gives no strings.
    const auto other = PeVersionInfo(PeImage(VersionResource(u"041104b0", kStrings, {{0x0407, 0x04B0}})));
    ASSERT_TRUE(other);
    EXPECT_EQ(other->fileDescription, L"");
}

TEST(PeVersion, WithoutATranslationTableThereAreNoStrings)
{
    EXPECT_FALSE(PeVersionInfo(PeImage(VersionResource(u"040904e4", kStrings, {}))));
}

TEST(PeVersion, NonPeDataHasNoVersion)
{
    const std::vector<Bytes> cases = {{}, {'M'}, {'M', 'Z'}, Bytes(4096, 0), {0x7F, 'E', 'L', 'F', 2, 1, 1, 0}};
    for (const Bytes& data : cases) EXPECT_FALSE(PeVersionInfo(data)) << data.size();
}

TEST(PeVersion, EveryTruncationAndEveryDamagedByteIsReadSafely)
{
    const Bytes image = PeImage(VersionResource(u"040904b0", kStrings, {{0x0409, 0x04B0}}));
    for (size_t size = 0; size < image.size(); ++size) {
        const Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(size));
        const auto info = PeVersionInfo(cut);  // the sanitizers catch any read beyond the data
        if (info) {
            EXPECT_LE(info->fileDescription.size(), 13u) << size;
        }
    }
    for (size_t at = 0; at < image.size(); ++at) {
        for (const uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
            Bytes damaged = image;
            damaged[at] = value;
            (void)PeVersionInfo(damaged);
        }
    }
}

TEST(PeVersion, SurrogatePairsBecomeOneCharacter)
{
    const auto info = PeVersionInfo(PeImage(VersionResource(u"040904b0", {{u"CompanyName", u"\U0001F600 Co"}}, {{0x0409, 0x04B0}})));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->companyName, L"\U0001F600 Co");
}

}  // namespace
}  // namespace kestrun
