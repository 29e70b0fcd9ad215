// The shell's icon for an executable file: the desktop entry that runs it, its
// icon from a file or from the icon theme, found through GIO and GTK on a
// data folder made for the test.
#include "platform/Platform.h"
#include "platform/gtk/DesktopEntryIcons.h"
#include "platform/linux/LinuxPlatform.h"

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace kestrun::platform {
namespace {

namespace fs = std::filesystem;

void WritePng(const fs::path& path, int side, uint32_t rgb)
{
    fs::create_directories(path.parent_path());
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, side, side);
    gdk_pixbuf_fill(pixbuf, rgb << 8 | 0xFF);
    ASSERT_TRUE(gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr));
    g_object_unref(pixbuf);
}

void WriteText(const fs::path& path, const std::string& text, bool executable = false)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    if (executable) chmod(path.c_str(), 0755);
}

class DesktopEntryIconsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kestrun-icons-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        WriteText(root_ / "bin" / "viewer", "#!/bin/sh\n", true);
        WriteText(root_ / "bin" / "tool", "#!/bin/sh\n", true);
        WriteText(root_ / "bin" / "plain", "#!/bin/sh\n", true);
        fs::create_symlink(root_ / "bin" / "viewer", root_ / "bin" / "viewer-link");
        WritePng(root_ / "pictures" / "viewer.png", 32, 0xCC0000);
        WriteText(root_ / "applications" / "viewer.desktop",
                  "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + (root_ / "bin" / "viewer").string() +
                      " %f\nIcon=" + (root_ / "pictures" / "viewer.png").string() + "\n");
        // Started through a wrapper: TryExec names the program.
        WriteText(root_ / "applications" / "tool.desktop",
                  "[Desktop Entry]\nType=Application\nName=Tool\nTryExec=" + (root_ / "bin" / "tool").string() +
                      "\nExec=sh -c tool\nIcon=kestrun-test-tool\n");
        WriteText(root_ / "icons" / "hicolor" / "index.theme",
                  "[Icon Theme]\nName=Hicolor\nDirectories=16x16/apps\n\n[16x16/apps]\nSize=16\nType=Fixed\n");
        WritePng(root_ / "icons" / "hicolor" / "16x16" / "apps" / "kestrun-test-tool.png", 16, 0x0000CC);
        // The toolkit's theme was made when it started: show it this folder too.
        gtk_icon_theme_append_search_path(gtk_icon_theme_get_default(), (root_ / "icons").c_str());
    }
    void TearDown() override
    {
        InstallFileIconSource(nullptr);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    fs::path root_;
};

TEST_F(DesktopEntryIconsTest, TheEntryThatRunsAFileGivesItsIcon)
{
    DesktopEntryIcons icons({(root_ / "home").string(), root_.string()});
    auto viewer = icons.SmallIconFor((root_ / "bin" / "viewer").string(), 16);
    ASSERT_TRUE(viewer.has_value());
    EXPECT_EQ(viewer->width, 16) << "scaled to the size asked for";
    EXPECT_EQ(viewer->pixels[8 * 16 + 8], 0xFFCC0000u);
    const auto linked = icons.SmallIconFor((root_ / "bin" / "viewer-link").string(), 16);
    ASSERT_TRUE(linked.has_value()) << "a link to the program is the program";

    const auto tool = icons.SmallIconFor((root_ / "bin" / "tool").string(), 16);
    ASSERT_TRUE(tool.has_value()) << "named by TryExec, its icon from the theme";
    EXPECT_EQ(tool->pixels[8 * 16 + 8], 0xFF0000CCu);

    SetLastError(0);
    EXPECT_FALSE(icons.SmallIconFor((root_ / "bin" / "plain").string(), 16).has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));

    // An entry of the user's own that hides the system's: no icon of that entry.
    WriteText(root_ / "home" / "applications" / "viewer.desktop", "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" +
                                                                   (root_ / "bin" / "viewer").string() + "\nHidden=true\n");
    DesktopEntryIcons shadowed({(root_ / "home").string(), root_.string()});
    SetLastError(0);
    EXPECT_FALSE(shadowed.SmallIconFor((root_ / "bin" / "viewer").string(), 16).has_value());
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ENOENT));
}

TEST_F(DesktopEntryIconsTest, TheLinuxShellAsksTheInstalledSource)
{
    auto shell = linux_backend::CreateLinuxShell();
    const std::wstring viewer = Widen((root_ / "bin" / "viewer").string());
    EXPECT_FALSE(shell->GetFileSmallIcon(viewer, 16).has_value()) << "no source, no icon";
    InstallFileIconSource(std::make_unique<DesktopEntryIcons>(std::vector<std::string>{root_.string()}));
    EXPECT_TRUE(shell->GetFileSmallIcon(viewer, 16).has_value());
}

}  // namespace
}  // namespace kestrun::platform
